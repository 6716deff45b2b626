// The program's one icon in the notification area.
#pragma once

#include <functional>

class QWidget;

namespace modSystray {

// Shows the window's current icon with the tip "Tallowin v1.00"; mouse
// activity on it reaches mouseMessage as a mouse message code. Where the
// desktop has no notification area the program runs on without the icon;
// trayChanged is called when a panel registers with the desktop's
// StatusNotifierItem watcher, so one may have come.
void AddTrayIcon(QWidget& window, std::function<void(int code)> mouseMessage,
                 std::function<void()> trayChanged);

// Shows the window's current icon again; the tip stays.
void UpdateTrayIcon();

// Takes the icon away.
void RemoveTrayIcon();

// Whether the desktop shows the icon in a notification area.
bool TrayAvailable();

}  // namespace modSystray
