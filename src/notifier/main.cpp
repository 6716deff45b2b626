#include "host/host.h"
#include "host/platform.h"
#include "notifier/frm_main.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  host::ChooseWindowSystem(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(host::AppTitle);
  QGuiApplication::setDesktopFileName(host::kDesktopFileName);
  // The window spends its life hidden: a message box closed meanwhile must
  // not count as the last window closing.
  QApplication::setQuitOnLastWindowClosed(false);

  host::Host host;
  frmMain form(host);

  form.Load();
  // Started at login: straight to the tray, through the minimise that
  // starts the watching. The program takes no other option.
  if (QCoreApplication::arguments().contains(QStringLiteral("--minimized")))
    form.showMinimized();
  else
    form.show();
  return app.exec();
}
