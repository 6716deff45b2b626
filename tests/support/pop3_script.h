// What the tests and the benchmark that poll a scripted server share: a
// one-chunk reply, and an account on loopback.
#pragma once

#include "pop3/mail_count.h"
#include "scripted_server.h"

#include <QString>

inline Reply Line(const QByteArray& bytes,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
  return {Chunk{delay, bytes}};
}

// The server field for plain POP3 on a loopback port.
inline QString OnLoopback(quint16 port) { return QStringLiteral("pop3://127.0.0.1:%1").arg(port); }

inline modPOP3::Account AccountOf(const QString& server, const QString& user = "u",
                                  const QString& password = "p") {
  return {[=] { return server; }, [=] { return user; }, [=] { return password; }};
}

Q_DECLARE_METATYPE(QList<Reply>)
