// The benchmarks' baseline: a bare Qt window with the same tray icon, shown
// at start, so the notifier's costs can be read as ratios against it.
#include "tray/systray.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QWidget window;
  window.setWindowTitle("TrayBaseline");
  window.resize(200, 80);
  window.setWindowIcon(QIcon(":/Tallowin.ico"));
  modSystray::AddTrayIcon(window, [&](int) { window.show(); }, [] {});
  window.show();
  return app.exec();
}
