// A window with the tray icon, driven line by line from standard input, so
// a test on a real desktop can work the icon and watch what it reports:
//   icon FILE   make FILE the window's icon and refresh the tray icon
//   remove      take the tray icon away
// Each mouse message from the icon is printed as "code N"; 515 also shows
// the window, as the notifier does. With --show the window shows at start,
// as a baseline for the benchmarks.
#include "host/host.h"
#include "tray/systray.h"
#include "tray/tray_tip.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QWidget>

#include <unistd.h>
#include <cstdio>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QWidget window;
  window.setWindowTitle("TrayDriver");
  window.resize(200, 80);
  window.setWindowIcon(QIcon(":/Tallowin.ico"));

  QTextStream out(stdout);
  modSystray::AddTrayIcon(window, [&](int code) {
    out << "code " << code << Qt::endl;
    if (code == modSystray::WM_LBUTTONDBLCLK) window.show();
  });

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
    if (n <= 0) {
      QApplication::quit();
      return;
    }
    for (const QString& line : QString::fromUtf8(buffer, n).split('\n', Qt::SkipEmptyParts)) {
      if (line.startsWith("icon ")) {
        const auto picture = host::LoadPicture(line.mid(5));
        if (picture) window.setWindowIcon(*picture);
        modSystray::UpdateTrayIcon();
      } else if (line == "remove") {
        modSystray::RemoveTrayIcon();
      }
      out << "done " << line << Qt::endl;
    }
  });
  if (QApplication::arguments().contains("--show")) window.show();
  out << "ready" << Qt::endl;
  return app.exec();
}
