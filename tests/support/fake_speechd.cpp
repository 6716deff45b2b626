#include "fake_speechd.h"

#include <QFile>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

FakeSpeechd::FakeSpeechd(const QString& socketPath, Behaviour behaviour)
    : path_(socketPath), behaviour_(behaviour) {
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path_);
  std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
  ::unlink(name.constData());
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
    ::listen(listenFd_, 4);
  thread_ = std::thread([this] { Serve(); });
}

FakeSpeechd::~FakeSpeechd() {
  stopping_ = true;
  thread_.join();
  ::close(listenFd_);
  ::unlink(QFile::encodeName(path_).constData());
}

QList<QByteArray> FakeSpeechd::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void FakeSpeechd::Serve() {
  while (!stopping_) {
    pollfd ready{listenFd_, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const bool drop = behaviour_ == Behaviour::DropAll ||
                      (behaviour_ == Behaviour::DropFirst && connections_ == 0);
    ++connections_;
    Talk(fd, drop);
    ::close(fd);
  }
}

void FakeSpeechd::Talk(int fd, bool drop) {
  auto answer = [fd](const char* text) { (void)::write(fd, text, std::strlen(text)); };
  QByteArray pending;
  bool inText = false;
  int queued = 0;
  while (!stopping_) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    pending.append(buffer, n);
    qsizetype end;
    while ((end = pending.indexOf("\r\n")) >= 0) {
      const QByteArray line = pending.left(end);
      pending.remove(0, end + 2);
      {
        std::lock_guard lock(mutex_);
        lines_ << line;
      }
      if (inText) {
        if (line == ".") {
          inText = false;
          while (behaviour_ == Behaviour::HoldTexts && !released_ && !stopping_)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          ++answered_;
          answer(QByteArray("225-" + QByteArray::number(++queued) + "\r\n225 OK MESSAGE QUEUED\r\n")
                     .constData());
        }
      } else if (line.startsWith("SET SELF CLIENT_NAME")) {
        answer("208 OK CLIENT NAME SET\r\n");
        if (drop) return;
      } else if (line.startsWith("SET SELF PRIORITY")) {
        answer("202 OK PRIORITY SET\r\n");
      } else if (line.compare("SPEAK", Qt::CaseInsensitive) == 0) {
        inText = true;
        answer("230 OK RECEIVING DATA\r\n");
      } else if (line.compare("QUIT", Qt::CaseInsensitive) == 0) {
        answer("231 HAPPY HACKING\r\n");
        return;
      } else {
        answer("200 OK\r\n");
      }
    }
  }
}
