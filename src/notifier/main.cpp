#include "host/host.h"
#include "host/platform.h"
#include "host/single_instance.h"
#include "notifier/frm_main.h"
#include "tray/tray_tip.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  host::ChooseWindowSystem(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(host::AppTitle);
  QGuiApplication::setDesktopFileName(host::kDesktopFileName);
  // The window spends its life hidden: a message box closed meanwhile must
  // not count as the last window closing.
  QApplication::setQuitOnLastWindowClosed(false);

  // Started at login: straight to the tray, through the minimise that
  // starts the watching. The program takes no other option. A session saved
  // by an older version restores it without the option, but at login all
  // the same.
  const bool atLogin =
      QCoreApplication::arguments().contains(QStringLiteral("--minimized")) ||
      app.isSessionRestored();

  // Decided before any window or voice exists.
  host::SingleInstance instance(host::SettingsFile(host::AppPath()));
  using Request = host::SingleInstance::Request;
  switch (instance.Start(atLogin ? Request::Quiet : Request::Show)) {
    case host::SingleInstance::Outcome::HandedOver:
      return 0;
    case host::SingleInstance::Outcome::NoAnswer:
      // A second copy would poll beside it and overwrite its save; the user
      // can end the stuck one and start again.
      std::fprintf(stderr,
                   "Tallowin: a copy of Tallowin (process %lld) already runs with these "
                   "settings but does not answer; this one does not start beside it.\n",
                   static_cast<long long>(instance.SilentPid()));
      return 1;
    case host::SingleInstance::Outcome::Run:
      break;
  }

  host::Host host;
  frmMain form(host);
  // A later plain start brings the window back as the tray icon does.
  instance.OnRequest(form, [&form](Request request) {
    if (request == Request::Show) form.TrayMouseMessage(modSystray::WM_LBUTTONDBLCLK);
  });
  // An ending copy hands nothing over: a start meanwhile runs anew.
  QObject::connect(&form, &frmMain::Unloading, &form, [&instance] { instance.StopListening(); });

  form.Load();
  if (atLogin)
    form.showMinimized();
  else
    form.show();
  return app.exec();
}
