#include "pop3/connect_race.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <mutex>
#include <thread>
#include <utility>

namespace modPOP3 {

// The resolver blocks, for as long as the network's name servers take: it
// runs on a thread of its own, which a race that has ended no longer hears.
struct ConnectRace::Lookup {
  std::mutex mutex;
  ConnectRace* race;  // null once the race has ended
};

namespace {

// The host's addresses; with AI_NUMERICHOST in flags, only when the host is
// an address itself, which never waits.
std::vector<std::vector<char>> Resolve(const QString& host, quint16 port, int flags = 0) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // No AI_ADDRCONFIG: it drops IPv4 answers where loopback is the only
  // IPv4 address, though a local server is reached there all the same.
  hints.ai_flags = AI_NUMERICSERV | flags;
  addrinfo* found = nullptr;
  std::vector<std::vector<char>> addresses;
  const QByteArray name = QFile::encodeName(host);
  if (::getaddrinfo(name.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
    return addresses;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    const auto* bytes = reinterpret_cast<const char*>(a->ai_addr);
    addresses.emplace_back(bytes, bytes + a->ai_addrlen);
  }
  ::freeaddrinfo(found);
  return addresses;
}

}  // namespace

ConnectRace::ConnectRace(const QString& host, quint16 port, std::function<void(int fd)> onConnected)
    : onConnected_(std::move(onConnected)),
      lookup_(std::make_shared<Lookup>()),
      stagger_(new QTimer(this)) {
  lookup_->race = this;
  stagger_->setSingleShot(true);
  stagger_->setTimerType(Qt::PreciseTimer);
  connect(stagger_, &QTimer::timeout, this, &ConnectRace::StartNext);
  // An address typed as such needs no thread to wait for a resolver.
  if (auto numeric = Resolve(host, port, AI_NUMERICHOST); !numeric.empty()) {
    Resolved(std::move(numeric));
    return;
  }
  std::thread([lookup = lookup_, host, port] {
    auto addresses = Resolve(host, port);
    std::lock_guard lock(lookup->mutex);
    if (!lookup->race) return;
    // Delivered on the race's thread; dropped there if it ends first.
    QMetaObject::invokeMethod(
        lookup->race,
        [race = lookup->race, addresses = std::move(addresses)]() mutable {
          race->Resolved(std::move(addresses));
        },
        Qt::QueuedConnection);
  }).detach();
}

ConnectRace::~ConnectRace() {
  {
    std::lock_guard lock(lookup_->mutex);
    lookup_->race = nullptr;
  }
  for (Attempt& attempt : attempts_) Abort(attempt);
}

void ConnectRace::Abort(Attempt& attempt) {
  delete std::exchange(attempt.writable, nullptr);
  if (attempt.fd >= 0) ::close(std::exchange(attempt.fd, -1));
}

void ConnectRace::Resolved(std::vector<std::vector<char>> addresses) {
  addresses_ = std::move(addresses);
  StartNext();
}

void ConnectRace::StartNext() {
  while (next_ < addresses_.size()) {
    const auto& address = addresses_[next_++];
    const auto* sa = reinterpret_cast<const sockaddr*>(address.data());
    const int fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (::connect(fd, sa, static_cast<socklen_t>(address.size())) != 0 && errno != EINPROGRESS) {
      ::close(fd);
      continue;  // refused at once: the next address without delay
    }
    auto* writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    attempts_.push_back({fd, writable});
    connect(writable, &QSocketNotifier::activated, this, [this, fd] {
      for (Attempt& attempt : attempts_)
        if (attempt.fd == fd) return Finished(attempt);
    });
    stagger_->start(kStagger);
    return;
  }
}

void ConnectRace::Finished(Attempt& attempt) {
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(attempt.fd, SOL_SOCKET, SO_ERROR, &error, &length);
  attempt.writable->setEnabled(false);
  attempt.writable->deleteLater();
  attempt.writable = nullptr;
  if (error != 0) {
    ::close(attempt.fd);
    attempt.fd = -1;
    StartNext();
    return;
  }
  const int fd = std::exchange(attempt.fd, -1);
  stagger_->stop();
  next_ = addresses_.size();
  for (Attempt& other : attempts_) Abort(other);
  onConnected_(fd);
}

}  // namespace modPOP3
