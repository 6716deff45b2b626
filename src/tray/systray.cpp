#include "tray/systray.h"

#include "host/host.h"
#include "tray/tray_tip.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace modSystray {
namespace {

// What the session bus's StatusNotifierItem watcher knows.
struct WatcherState {
  bool hostRegistered = false;  // a panel shows the items
  bool ownItem = false;         // Qt made this program's icon an item
};

struct TrayRecord {
  QPointer<QWidget> hWnd;  // the window whose icon is shown and who is told of clicks
  QString szTip;
  QPointer<QSystemTrayIcon> icon;  // owned by the window
  QPointer<QTimer> trayNews;       // fired by the watcher's news; owned by the window
  WatcherState watcher;            // its last answer, for a click while it is slow
};

TrayRecord TrayIconData;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

// The watcher is another program, asked at each click and every two seconds
// while the window waits for a panel: one that hangs must not freeze the
// window. A watcher at work answers within milliseconds.
constexpr int kWatcherAnswerMs = 200;

// What the watcher knows now; nothing where it did not answer in time, the
// empty state where there is none. Asking never starts one.
std::optional<WatcherState> ReadWatcher() {
  QDBusMessage getAll = QDBusMessage::createMethodCall(
      kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("GetAll"));
  getAll << kWatcher;
  getAll.setAutoStartService(false);
  const QDBusMessage reply =
      QDBusConnection::sessionBus().call(getAll, QDBus::Block, kWatcherAnswerMs);
  if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply"))
    return std::nullopt;
  WatcherState state;
  if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    state.hostRegistered =
        properties.value(QStringLiteral("IsStatusNotifierHostRegistered")).toBool();
    // An item is listed by its bus name, then its path ("/path" with KDE's
    // watcher, "@/path" with GNOME's); Qt's item has a bus connection of its own.
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (const QString& item :
         properties.value(QStringLiteral("RegisteredStatusNotifierItems")).toStringList()) {
      const QString name = item.section(u'/', 0, 0).section(u'@', 0, 0);
      if (bus->servicePid(name).value() == QCoreApplication::applicationPid()) state.ownItem = true;
    }
  }
  TrayIconData.watcher = state;
  return state;
}

}  // namespace

void AddTrayIcon(QWidget& window, std::function<void(int code)> mouseMessage,
                 std::function<void()> trayChanged) {
  TrayIconData.hWnd = &window;
  TrayIconData.szTip = ComposeTip(host::AppTitle, host::AppMajor, host::AppMinor);
  // A host or an item registering may make the icon shown: told from the
  // event loop, once for a burst.
  auto* news = new QTimer(&window);
  news->setSingleShot(true);
  news->setInterval(0);
  QObject::connect(news, &QTimer::timeout, news, std::move(trayChanged));
  for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierItemRegistered"})
    QDBusConnection::sessionBus().connect(kWatcher, kWatcherPath, kWatcher,
                                          QString::fromLatin1(signal), news, SLOT(start()));
  TrayIconData.trayNews = news;
  auto* icon = new QSystemTrayIcon(window.windowIcon(), &window);
  icon->setToolTip(ShownTip(TrayIconData.szTip));
  QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                   [callback = std::move(mouseMessage)](QSystemTrayIcon::ActivationReason reason) {
                     const int code =
                         MouseMessage(reason, ReadWatcher().value_or(TrayIconData.watcher).ownItem);
                     if (code) callback(code);
                   });
  TrayIconData.icon = icon;
  icon->show();
}

void UpdateTrayIcon() {
  if (TrayIconData.icon && TrayIconData.hWnd)
    TrayIconData.icon->setIcon(TrayIconData.hWnd->windowIcon());
}

void RemoveTrayIcon() {
  delete TrayIconData.icon.data();
  delete TrayIconData.trayNews.data();
  TrayIconData = {};
}

// Qt makes the icon a StatusNotifierItem where a watcher is (Qt 6.8), or
// where a host was as it made the icon (Qt 6.4); an item shows only while a
// host is registered, and Qt's own answer counts the watcher alone. While
// the watcher hangs, the window stays where it can be found.
bool TrayAvailable() {
  const auto watcher = ReadWatcher();
  if (!watcher) return false;
  return watcher->ownItem ? watcher->hostRegistered : QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace modSystray
