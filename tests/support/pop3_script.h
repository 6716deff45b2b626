// What the tests of the mail count query share: the messages a user sees,
// a one-chunk reply for the scripted server, and an account on loopback.
#pragma once

#include "pop3/mail_count.h"
#include "scripted_server.h"

#include <QString>
#include <QTcpServer>

inline const QString kConnecting = "Error: Connecting to POP3 Server";
inline const QString kUsername = "Error: Sending Username to POP3 Server";
inline const QString kPassword = "Error: Sending Password to POP3 Server";
inline const QString kReading = "Error: Reading amount of mails on POP3 Server";

inline Reply Line(const QByteArray& bytes,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
  return {Chunk{delay, bytes}};
}

// A loopback port that nothing listens on at the moment.
inline quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost);
  return probe.serverPort();
}

// The server field for plain POP3 on a loopback port.
inline QString OnLoopback(quint16 port) { return QStringLiteral("pop3://127.0.0.1:%1").arg(port); }

inline modPOP3::Account AccountOf(const QString& server, const QString& user = "u",
                                  const QString& password = "p") {
  return {[=] { return server; }, [=] { return user; }, [=] { return password; }};
}

Q_DECLARE_METATYPE(QList<Reply>)
