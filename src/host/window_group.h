// The window group a window manager keeps a window in.
#pragma once

class QWidget;

namespace host {

// Gives a top-level widget's window a window group of its own, on X11 (no
// other window system has groups). Qt puts every window of the program in
// one group, and a dialog is transient for its whole group when it has no
// parent; KWin shows a group's minimised windows again when a modal dialog
// of the group is shown. Call before the window is first shown.
void OwnWindowGroup(QWidget& widget);

}  // namespace host
