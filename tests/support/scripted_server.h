// A POP3 server on loopback that plays a script: a greeting when a client
// connects, then one reply for each line the client sends; given a TLS
// configuration, inside TLS. It runs in the test's own event loop, which the
// client's waits keep turning.
#pragma once

#include "pop3/mail_count.h"

#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QTcpServer>

#include <chrono>
#include <memory>

class QTcpSocket;

// What the server sends at a trigger: its connection, or a line from the client.
struct Reply {
  std::chrono::milliseconds delay{0};  // after the trigger
  QByteArray bytes;
  // The bytes are sent this many times, as fast as the client takes them.
  qint64 repeat = 1;
  // Instead of sending, the connection is reset (a TCP RST).
  bool reset = false;
};

inline Reply Line(const QByteArray& bytes,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
  return {delay, bytes};
}

class ScriptedServer : public QObject {
  Q_OBJECT
 public:
  // replies[0] is sent on connection, replies[i] after the i-th line.
  // A reply past the end of the list is never sent.
  explicit ScriptedServer(QList<Reply> replies, const QSslConfiguration& tls = {});

  quint16 port() const { return server_->serverPort(); }
  // Everything the client sent, over all connections.
  QByteArray received() const { return received_; }
  // Whether the last client has closed its side.
  bool clientGone() const { return clientGone_; }

 private:
  void Play(QTcpSocket* socket, const Reply& reply);
  static void Flood(QTcpSocket* socket, const QByteArray& bytes, qint64 times);

  std::unique_ptr<QTcpServer> server_;
  QList<Reply> replies_;
  QByteArray received_;
  bool clientGone_ = false;
};

// The server field for plain POP3 on a loopback port (%1), and an account there.
inline const QString kOnLoopback = QStringLiteral("pop3://127.0.0.1:%1");
inline modPOP3::Account AccountOf(const QString& server, const QString& user = "u",
                                  const QString& password = "p") {
  return {[=] { return server; }, [=] { return user; }, [=] { return password; }};
}
