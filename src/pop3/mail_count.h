// One POP3 logon that asks how many messages wait: USER, PASS, STAT, close.
#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <optional>

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

// A server's "not now" to a login (RFC 2449): [LOGIN-DELAY], too soon after
// the last, or [IN-USE], another client holds the mailbox. The login was not
// wrong, so such a refusal ends a poll quietly, until refusals in a row have
// gone on for an hour of ticks: that one is shown, once, and another hour
// begins. Polls are counted, not time: an hour offline or asleep is no
// hour of refusals. The caller keeps this from poll to poll.
struct NotNow {
  int refused = 0;  // in a row; none since the last other outcome
};

// The number of messages in the mailbox, or -1 when there is none: the
// stage that failed has been shown in a message box, or the server said
// "not now". Every poll closes the socket it finds and makes a new one, a
// TLS socket only for a pop3s:// server; it is closed on return.
qint32 GetMailCount(std::unique_ptr<QTcpSocket>& sckClient, const Account& account,
                    host::Host& host, NotNow& notNow);

// What one wait for a reply took.
struct Reply {
  bool ok = false;      // more than 3 bytes came in time and hold the marker
  QByteArray received;  // all that was taken; empty when too little came in time
};

// Waits up to 2.0 s for more than 3 bytes. Whatever arrives later stays
// queued for the next wait.
Reply WaitForReply(QAbstractSocket& sckClient, QByteArrayView marker);

// As WaitForReply within 0.5 s; the count when the reply is also a
// readable status reply.
struct StatusReply {
  Reply reply;
  std::optional<qint32> count;
};
StatusReply ReadStatReply(QAbstractSocket& sckClient, QByteArrayView marker);

// The server's words in a -ERR reply, fit for a second line of a message:
// its first line, control characters dropped, at most 200 characters.
// Nothing for any other reply.
std::optional<QString> ServerReason(const QByteArray& received);

}  // namespace modPOP3
