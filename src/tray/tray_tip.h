// The tray icon's tip and how clicks on the icon reach the window.
#pragma once

#include <QString>
#include <QSystemTrayIcon>

namespace modSystray {

inline constexpr int kTipLength = 64;

// Title, " v", major, ".", minor as at least two digits, one NUL; padded
// with blanks, or cut, to 64 characters (a cut loses the NUL).
QString ComposeTip(const QString& title, int major, int minor);

// What the desktop shows of a tip: the text before its NUL.
QString ShownTip(const QString& tip);

// The mouse messages the window understands.
inline constexpr int WM_LBUTTONUP = 0x202;
inline constexpr int WM_LBUTTONDBLCLK = 0x203;  // 515: brings the window back
inline constexpr int WM_RBUTTONUP = 0x205;
inline constexpr int WM_MBUTTONUP = 0x208;

// The mouse message for an activation of the icon. A StatusNotifierItem
// host (KDE, GNOME) cannot report a double-click, so there its primary
// activation counts as one: otherwise the window could never come back.
int MouseMessage(QSystemTrayIcon::ActivationReason reason, bool statusNotifierHost);

}  // namespace modSystray
