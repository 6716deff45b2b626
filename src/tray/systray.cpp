#include "tray/systray.h"

#include "host/host.h"
#include "tray/tray_tip.h"

#include <QDBusConnection>
#include <QDBusInterface>
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

// Qt talks to a StatusNotifierItem host when, as the icon is made, the
// watcher on the session bus says a host has registered with it; otherwise
// (no watcher, or a panel still starting) to an XEmbed tray.
bool StatusNotifierHostRegistered() {
  QDBusInterface watcher(
      QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.kde.StatusNotifierWatcher"), QDBusConnection::sessionBus());
  return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
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
