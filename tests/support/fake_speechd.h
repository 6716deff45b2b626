// A speech server on a unix socket that answers the protocol's commands and
// records every line it is sent, one connection at a time. It runs on a
// thread of its own, since the client blocks until it is answered.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

class FakeSpeechd {
 public:
  // dropFirst: the first connection is closed as soon as it has introduced
  // itself, as when the server dies while the program runs.
  explicit FakeSpeechd(const QString& socketPath, bool dropFirst = false);
  ~FakeSpeechd();

  // The lines received, without line ends, from all connections so far.
  QList<QByteArray> lines() const;
  int connections() const { return connections_; }

 private:
  void Serve();
  void Talk(int fd, bool drop);

  QString path_;
  bool dropFirst_;
  int listenFd_ = -1;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  QList<QByteArray> lines_;
  std::thread thread_;
};
