#include "notifier/termination.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace host {
namespace {

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
                   [callback = std::move(onSignal)] { callback(); });
  struct sigaction action {};
  action.sa_handler = Notify;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

}  // namespace host
