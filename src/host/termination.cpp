#include "host/termination.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace host {
namespace {

// Takes the application's quit request; the program never asks for one
// itself, so it comes from the session manager.
class QuitFilter : public QObject {
 public:
  QuitFilter(QObject& parent, std::function<void()> onQuit)
      : QObject(&parent), onQuit_(std::move(onQuit)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit) return false;
    onQuit_();
    return true;
  }

 private:
  std::function<void()> onQuit_;
};

// The writing end, for the handler: a signal handler can reach no object.
int signalWriteFd = -1;

void Notify(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalWriteFd, &byte, 1);
}

}  // namespace

void OnTerminationSignal(QObject& parent, std::function<void()> onSignal) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
  signalWriteFd = fds[0];
  auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, &parent);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [read = fds[1], callback = std::move(onSignal)] {
                     char byte;
                     [[maybe_unused]] const ssize_t n = ::read(read, &byte, 1);
                     callback();
                   });
  QObject::connect(notifier, &QObject::destroyed, [read = fds[1], write = fds[0]] {
    if (signalWriteFd == write) signalWriteFd = -1;
    ::close(read);
    ::close(write);
  });
  struct sigaction action {};
  action.sa_handler = Notify;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

void OnSessionEnd(QObject& parent, std::function<void()> onEnd) {
  QCoreApplication::instance()->installEventFilter(new QuitFilter(parent, std::move(onEnd)));
  // Qt sends the hint after this signal, so the one set here is saved.
  QObject::connect(qGuiApp, &QGuiApplication::saveStateRequest, &parent,
                   [](QSessionManager& manager) {
                     manager.setRestartHint(QSessionManager::RestartNever);
                   });
}

}  // namespace host
