#include "notifier/frm_main.h"

#include "host/host.h"
#include "host/network_state.h"
#include "host/termination.h"
#include "host/window_group.h"
#include "notifier/fit_font.h"
#include "pop3/mail_count.h"
#include "settings/ini.h"
#include "speech/speech.h"
#include "tray/systray.h"
#include "tray/tray_tip.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QTcpSocket>
#include <QTimer>

#include <malloc.h>

namespace {

constexpr int kPollIntervalMs = 60000;
constexpr int kTrayWaitMs = 2000;
constexpr char kAnnouncement[] = "Tallowin";

// The window is a frame to assistive technology, as an application's main
// window is, not the filler a bare widget passes for.
QAccessibleInterface* FrameOf(const QString& className, QObject* object) {
  if (className != QLatin1String(frmMain::staticMetaObject.className()) || !object->isWidgetType())
    return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}
// Installed before any window is built: Qt keeps the first interface it was
// asked for, and building the window's fields already asks for the window's.
[[maybe_unused]] const bool kFrameFactoryInstalled = (QAccessible::installFactory(FrameOf), true);

}  // namespace

frmMain::frmMain(host::Host& host, std::function<bool()> trayAvailable)
    : Label1(new QLabel(QStringLiteral("POP3 Server:"), this)),
      Label2(new QLabel(QStringLiteral("Username:"), this)),
      Label3(new QLabel(QStringLiteral("Password:"), this)),
      Text1(new QLineEdit(this)),
      Text2(new QLineEdit(this)),
      Text3(new QLineEdit(this)),
      Timer1(new QTimer(this)),
      trayWait_(new QTimer(this)),
      trayAvailable_(std::move(trayAvailable)),
      host_(host),
      watch_([this] { return GetMailCount(); }),
      network_(new host::NetworkState(this, [this](bool online) {
        if (!unloading_) watch_.NetworkChanged(online);
      })) {
  // A fixed window: it can be minimised and closed, not maximised.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(host::AppTitle);
  setWindowIcon(QIcon(QStringLiteral(":/Tallowin.ico")));

  // The layout is kept in twips, the unit it was drawn in, and scaled to
  // the screen's resolution.
  const float tpp = host::TwipsPerPixelX();
  setFixedSize(host::TwipsToPixels(0, 0, 4710, 1965, tpp).size());
  Label1->setGeometry(host::TwipsToPixels(120, 120, 4455, 255, tpp));
  Text1->setGeometry(host::TwipsToPixels(120, 360, 4455, 285, tpp));
  Label2->setGeometry(host::TwipsToPixels(120, 720, 4455, 255, tpp));
  Text2->setGeometry(host::TwipsToPixels(120, 960, 4455, 285, tpp));
  Label3->setGeometry(host::TwipsToPixels(120, 1320, 4455, 255, tpp));
  Text3->setGeometry(host::TwipsToPixels(120, 1560, 4455, 285, tpp));
  FitFonts();

  // Each label names its field, for a screen reader too.
  Label1->setBuddy(Text1);
  Label2->setBuddy(Text2);
  Label3->setBuddy(Text3);
  // A minimised window would otherwise be named by its (empty) icon text.
  setAccessibleName(host::AppTitle);

  setTabOrder(Text1, Text2);
  setTabOrder(Text2, Text3);
  Text1->setFocus();

  Text3->setEchoMode(QLineEdit::Password);
  Text3->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  Text3->setAttribute(Qt::WA_InputMethodEnabled, false);

  host::OnTerminationSignal(*this, [this] { QueryUnload(UnloadMode::AppTaskManager); });
  host::OnSessionEnd(*this, [this] { QueryUnload(UnloadMode::AppWindows); });

  trayWait_->setInterval(kTrayWaitMs);
  connect(trayWait_, &QTimer::timeout, this, &frmMain::TrayWaitTick);

  watch_.NetworkChanged(network_->online());
  Timer1->setInterval(kPollIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1Tick);
  Timer1->start();
}

void frmMain::Load() {
  modIni::LoadSettings(*Text1, *Text2, *Text3, host::ReadSettings(host::AppPath()));
  if (const auto why =
          modSpeech::InitVoice([this](const QString& failure) { host_.RuntimeError(failure); })) {
    host_.RuntimeError(*why);
    return;
  }
  modSystray::AddTrayIcon(
      *this, [this](int code) { TrayMouseMessage(code); },
      [this] {
        if (trayWait_->isActive()) TrayWaitTick();
      });
}

void frmMain::Resize() {
  if (unloading_) return;
  // Shown from the taskbar: no baseline is owed any more.
  if (state_.value() != host::WindowState::Minimized) return watch_.Restored();
  watch_.Minimised();
  if (!SetIcon(MailWatch::Outcome::NoNewMail)) return;
  // The window is brought back from the tray; with no tray it stays on the
  // taskbar until one appears (at login the panel may start after us).
  trayWait_->start();
  TrayWaitTick();
}

void frmMain::TrayWaitTick() {
  // A double-click during the poll has brought the window back already.
  if (state_.value() != host::WindowState::Minimized || !isVisible()) {
    trayWait_->stop();
  } else if (trayAvailable_()) {
    trayWait_->stop();
    state_.Hidden();
    hide();
  }
}

void frmMain::Timer1Tick() {
  if (state_.value() != host::WindowState::Minimized || unloading_) return;
  const auto outcome = watch_.Tick();
  if (!outcome) return;
  if (!SetIcon(*outcome)) return;
  if (*outcome == MailWatch::Outcome::NewMail) modSpeech::Say(kAnnouncement);
}

void frmMain::TrayMouseMessage(int code) {
  if (code != modSystray::WM_LBUTTONDBLCLK) return;
  state_.Restored();
  watch_.Restored();
  setWindowState(Qt::WindowNoState);
  // Started minimised, the window would come back minimised on xfwm4.
  host::MapNormal(*this);
  show();
  activateWindow();
}

void frmMain::QueryUnload(UnloadMode mode) {
  // No poll and no voice while a failed save's message waits for the user.
  unloading_ = true;
  emit Unloading();
  if (mode == UnloadMode::FormControlMenu || mode == UnloadMode::FormCode)
    modIni::SaveSettings(*Text1, *Text2, *Text3, host::SettingsFileToWrite(host::AppPath()), host_);
  modSpeech::ReleaseVoice();
  modSystray::RemoveTrayIcon();
  host_.End(0);
}

void frmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitFonts();  // the desktop's font changed
  if (event->type() != QEvent::WindowStateChange || !state_.Reported(isMinimized())) return;
  // Run the handler from the event loop, not inside the window system's
  // event: its poll waits for the server.
  QMetaObject::invokeMethod(this, &frmMain::Resize, Qt::QueuedConnection);
}

void frmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The program's own show, not the window manager's restore of a minimised
  // window, which Qt also reports as a show.
  if (!event->spontaneous()) state_.Shown(isMinimized());
}

void frmMain::paintEvent(QPaintEvent* event) {
  state_.Drawn();
  QWidget::paintEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event) {
  QueryUnload(event->spontaneous() ? UnloadMode::FormControlMenu : UnloadMode::FormCode);
  event->accept();
}

qint32 frmMain::GetMailCount() {
  const modPOP3::Account account{
      [this] { return Text1->text(); },
      [this] { return Text2->text(); },
      [this] { return Text3->text(); },
  };
  const qint32 count = modPOP3::GetMailCount(sckClient, account, host_, notNow_);
  // What a poll freed (a TLS handshake's many small pieces) goes back to the
  // system, so a run of weeks keeps the size of its first hour.
  ::malloc_trim(0);
  return count;
}

void frmMain::FitFonts() {
  for (QLabel* label : {Label1, Label2, Label3})
    label->setFont(FitFont(font(), label->contentsRect().height()));
  for (QLineEdit* field : {Text1, Text2, Text3})
    field->setFont(FitFont(font(), LineEditTextHeight(*field)));
}

bool frmMain::SetIcon(MailWatch::Outcome outcome) {
  const QString path =
      host::AppFile(outcome == MailWatch::Outcome::NewMail ? QStringLiteral("IsMail.ico")
                                                           : QStringLiteral("Mail.ico"));
  // Read at every use, so a file that has gone still ends the program; but
  // the picture already shown is not sent to the desktop again, nor one
  // decoded before decoded again.
  const QByteArray file = host::ReadFile(path);
  if (!file.isEmpty() && file == shownIconFile_) return true;
  auto decoded = decodedIcons_.constFind(file);
  if (decoded == decodedIcons_.cend()) {
    const auto picture = host::LoadPicture(file);
    if (!picture) {
      host_.RuntimeError(QStringLiteral("Error: Cannot load the picture %1").arg(path));
      return false;
    }
    // Two files take turns; a third picture means one was replaced on disk.
    if (decodedIcons_.size() == 2) decodedIcons_.clear();
    decoded = decodedIcons_.insert(file, *picture);
  }
  setWindowIcon(*decoded);
  shownIconFile_ = file;
  modSystray::UpdateTrayIcon();
  return true;
}
