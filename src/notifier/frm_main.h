// The program's one window: three fields for the mailbox, and the handlers
// of the events that drive everything else.
#pragma once

#include "host/window_state.h"
#include "notifier/mail_watch.h"
#include "pop3/mail_count.h"
#include "tray/systray.h"

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QTcpSocket>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QTimer;

namespace host {
class Host;
class NetworkState;
}  // namespace host

class frmMain : public QWidget {
  Q_OBJECT

 public:
  // Who asked for the window to close; only the user's own closing saves.
  enum class UnloadMode {
    FormControlMenu = 0,  // the window's close button or the window manager
    FormCode = 1,         // the program itself
    AppWindows = 2,       // the desktop session ends
    AppTaskManager = 3,   // a signal: kill, a task manager, shutdown
  };

  // trayAvailable: whether the desktop has a notification area to hide into.
  explicit frmMain(host::Host& host,
                   std::function<bool()> trayAvailable = modSystray::TrayAvailable);

  // The handlers, each run when its event comes.
  void Load();
  void Resize();
  void Timer1Tick();
  void TrayMouseMessage(int code);
  void QueryUnload(UnloadMode mode);

  QLabel* const Label1;
  QLabel* const Label2;
  QLabel* const Label3;
  QLineEdit* const Text1;
  QLineEdit* const Text2;
  QLineEdit* const Text3;
  QTimer* const Timer1;
  std::unique_ptr<QTcpSocket> sckClient;  // made anew by every poll

  const MailWatch& Watch() const { return watch_; }

 signals:
  // The program begins to end, before anything can wait on the user.
  void Unloading();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  qint32 GetMailCount();
  // Hides the minimised window into the notification area, or, while there
  // is none, lets it wait on the taskbar and looks again soon.
  void TrayWaitTick();
  // Makes the icon file for the outcome the window's icon, and the tray's
  // when the picture changed; false once a failure has ended the program.
  bool SetIcon(MailWatch::Outcome outcome);
  // Gives the labels and fields the window's font at a size whose line fits
  // their height, so no descender or underscore is cut off.
  void FitFonts();

  QTimer* const trayWait_;
  const std::function<bool()> trayAvailable_;
  host::Host& host_;
  MailWatch watch_;
  host::NetworkState* const network_;
  modPOP3::NotNow notNow_;  // the server's "not now", from poll to poll
  host::WindowState state_;
  QByteArray shownIconFile_;  // the bytes of the icon file the window shows
  // Each picture decoded once, by its file's bytes: Qt's pixmap cache keys
  // scaled copies by the QIcon, so a new QIcon at every change of picture
  // would add its copies there (up to 10 MiB) instead of reusing them.
  QHash<QByteArray, QIcon> decodedIcons_;
  bool unloading_ = false;
};
