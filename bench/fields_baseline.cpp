// A second baseline: the bare window with the notifier's three labelled
// fields and its tray icon, and no network or speech, so that what showing
// text costs can be told from what the rest of the program costs.
#include "tray/systray.h"

#include <QApplication>
#include <QFormLayout>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QWidget window;
  window.setWindowTitle("FieldsBaseline");
  auto* form = new QFormLayout(&window);
  form->addRow("POP3 Server:", new QLineEdit("pop3://127.0.0.1"));
  form->addRow("Username:", new QLineEdit("bench"));
  auto* password = new QLineEdit("bench");
  password->setEchoMode(QLineEdit::Password);
  form->addRow("Password:", password);
  window.setWindowIcon(QIcon(":/Tallowin.ico"));
  modSystray::AddTrayIcon(window, [&](int) { window.show(); }, [] {});
  window.show();
  return app.exec();
}
