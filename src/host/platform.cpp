#include "host/platform.h"

#include <QByteArray>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QtGlobal>

#include <cstdio>

namespace host {

void ChooseWindowSystem(int argc, char* argv[]) {
  // Qt 6.8's X11 input code crashes on an input device change as Xwayland
  // reports it under KWin 6 (seen at a key of KWin's virtual keyboard); a
  // window of three fields needs nothing of XInput 2 that core events lack
  // (touch, smooth scrolling and tablets fall back to the mouse's events).
  if (QLibraryInfo::version() >= QVersionNumber(6, 8)) qputenv("QT_XCB_NO_XI2", "1");
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg(argv[i]);
    if (arg == "-platform" || arg == "--platform" || arg.startsWith("-platform=") ||
        arg.startsWith("--platform="))
      return;
  }
  if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    return;
  }
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    std::fputs(
        "Tallowin: this desktop has Wayland but no X11 display (Xwayland). A Wayland "
        "desktop does not tell a program that its window was minimised, so minimising "
        "cannot start the watching here. Enable Xwayland, or run Tallowin in an X11 "
        "session.\n",
        stderr);
}

}  // namespace host
