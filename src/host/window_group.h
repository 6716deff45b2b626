// What a window manager reads from a window's hints on X11: the group it
// keeps the window in, and the state it maps the window in.
#pragma once

class QWidget;

namespace host {

// Gives a top-level widget's window a window group of its own, on X11 (no
// other window system has groups). Qt puts every window of the program in
// one group, and a dialog is transient for its whole group when it has no
// parent; KWin shows a group's minimised windows again when a modal dialog
// of the group is shown. Call before the window is first shown.
void OwnWindowGroup(QWidget& widget);

// Asks the window manager to map a hidden top-level widget's window normal
// when it is next shown. A window first shown minimised keeps asking for
// the iconic state: Qt writes the hint only when it changes the state
// itself, and xfwm4 honours it at every map.
void MapNormal(QWidget& widget);

}  // namespace host
