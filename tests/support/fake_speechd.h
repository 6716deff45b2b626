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
  enum class Behaviour {
    Answer,     // answers every command at once
    DropFirst,  // closes the first connection once it has introduced itself,
                // as when the server dies while the program runs
    DropAll,    // does so with every connection
    HoldTexts,  // answers a text only once Release() is called
  };
  explicit FakeSpeechd(const QString& socketPath, Behaviour behaviour = Behaviour::Answer);
  ~FakeSpeechd();

  // The lines received, without line ends, from all connections so far.
  QList<QByteArray> lines() const;
  int connections() const { return connections_; }
  // How many texts have been answered as queued.
  int textsAnswered() const { return answered_; }
  // Lets HoldTexts answer.
  void Release() { released_ = true; }

 private:
  void Serve();
  void Talk(int fd, bool drop);

  QString path_;
  Behaviour behaviour_;
  std::atomic<int> answered_{0};
  std::atomic<bool> released_{false};
  int listenFd_ = -1;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  QList<QByteArray> lines_;
  std::thread thread_;
};
