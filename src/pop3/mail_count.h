// One POP3 logon that asks how many messages wait: USER, PASS, STAT, close.
#pragma once

#include <QAbstractSocket>
#include <QByteArrayView>
#include <QSslSocket>
#include <QString>

#include <functional>

namespace host {
class Host;
}

namespace modPOP3 {

// Where the account's settings are read, each at the moment it is needed:
// the window's fields can change while a poll waits for the server.
struct Account {
  std::function<QString()> server;
  std::function<QString()> user;
  std::function<QString()> password;
};

inline constexpr quint16 kPop3Port = 110;

// The number of messages in the mailbox, or -1 once the stage that failed
// has been shown in a message box. The socket is closed on return. The
// server field may ask for TLS or a port; plainPort is for tests only.
qint32 GetMailCount(QSslSocket& sckClient, const Account& account, host::Host& host,
                    quint16 plainPort = kPop3Port);

// True when more than 3 bytes arrive within 2.0 s and the data taken holds
// the marker. Whatever arrives later stays queued for the next wait.
bool WaitForReply(QAbstractSocket& sckClient, QByteArrayView marker);

// As WaitForReply within 0.5 s, then reads the status reply into count and
// size; on false neither is written.
bool ReadStatReply(QAbstractSocket& sckClient, QByteArrayView marker, qint32& count, qint32& size);

}  // namespace modPOP3
