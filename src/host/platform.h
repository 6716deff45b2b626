// Which window system the program talks to.
#pragma once

namespace host {

// Decides before the application object exists. Where an X11 display is
// reachable (on Wayland desktops through Xwayland) the program is an X11
// client: a Wayland compositor never tells a client that its window was
// minimised, and minimising is what starts the watching. A platform the
// person chose (QT_QPA_PLATFORM, or -platform) is kept. Where only Wayland
// exists, says once on standard error that minimising cannot be seen.
// With Qt 6.8 and later, XInput 2 is left off (QT_XCB_NO_XI2).
void ChooseWindowSystem(int argc, char* argv[]);

}  // namespace host
