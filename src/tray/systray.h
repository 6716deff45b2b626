// The program's one icon in the notification area.
#pragma once

#include <functional>

class QWidget;

namespace modSystray {

// Shows the window's current icon with the tip "Tallowin v1.00"; mouse
// activity on it reaches mouseMessage as a mouse message code. Where the
// desktop has no notification area the program runs on without the icon.
void AddTrayIcon(QWidget& window, std::function<void(int code)> mouseMessage);

// Shows the window's current icon again; the tip stays.
void UpdateTrayIcon();

// Takes the icon away.
void RemoveTrayIcon();

// Whether the desktop has a notification area to hold the icon.
bool TrayAvailable();

}  // namespace modSystray
