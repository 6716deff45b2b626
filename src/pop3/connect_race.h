// Connecting to a server whose name has several addresses, as RFC 8305
// ("Happy Eyeballs") does it: an address whose packets are silently lost,
// common with a half-working IPv6 route, must not cost the poll when the
// next address works.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace modPOP3 {

class ConnectRace : public QObject {
 public:
  // How long an attempt has before the next address is tried beside it.
  static constexpr std::chrono::milliseconds kStagger{250};

  // Resolves the host (also to IPv4 addresses on a machine whose only IPv4
  // address is loopback) and tries its addresses in the resolver's order,
  // the next at once when one fails. The first connection established is
  // handed to onConnected, which then owns the descriptor; the others are
  // dropped. Nothing is called when none connects: the caller's own wait
  // bounds the race. Attempts still under way end with the object.
  ConnectRace(const QString& host, quint16 port, std::function<void(int fd)> onConnected);
  ~ConnectRace() override;

 private:
  struct Attempt {
    int fd;
    QSocketNotifier* writable;
  };
  struct Lookup;

  void Resolved(std::vector<std::vector<char>> addresses);
  void StartNext();
  void Finished(Attempt& attempt);
  // Ends an attempt still under way, if it is.
  static void Abort(Attempt& attempt);

  std::function<void(int)> onConnected_;
  std::shared_ptr<Lookup> lookup_;
  std::vector<std::vector<char>> addresses_;  // sockaddr bytes, in the resolver's order
  std::size_t next_ = 0;
  std::vector<Attempt> attempts_;
  QTimer* stagger_;
};

}  // namespace modPOP3
