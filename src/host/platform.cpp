#include "host/platform.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

namespace host {

void ChooseWindowSystem(int argc, char* argv[]) {
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
