#include "tray/systray.h"

#include "notifier/host.h"
#include "tray/tray_tip.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

namespace modSystray {
namespace {

struct TrayRecord {
  QPointer<QWidget> hWnd;  // the window whose icon is shown and who is told of clicks
  QString szTip;
  bool statusNotifierHost = false;
  QPointer<QSystemTrayIcon> icon;  // owned by the window
};

TrayRecord TrayIconData;

// Qt talks to a StatusNotifierItem host when its watcher is on the session
// bus as the icon is made, and to an XEmbed tray otherwise.
bool StatusNotifierHostRegistered() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() && bus.interface() &&
         bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

}  // namespace

void AddTrayIcon(QWidget& window, std::function<void(int code)> mouseMessage) {
  TrayIconData.hWnd = &window;
  TrayIconData.szTip = ComposeTip(host::AppTitle, host::AppMajor, host::AppMinor);
  TrayIconData.statusNotifierHost = StatusNotifierHostRegistered();
  auto* icon = new QSystemTrayIcon(window.windowIcon(), &window);
  icon->setToolTip(ShownTip(TrayIconData.szTip));
  QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                   [callback = std::move(mouseMessage)](QSystemTrayIcon::ActivationReason reason) {
                     const int code = MouseMessage(reason, TrayIconData.statusNotifierHost);
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
  TrayIconData = {};
}

bool TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

}  // namespace modSystray
