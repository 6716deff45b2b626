#include "pop3/mail_count.h"

#include "host/host.h"
#include "pop3/connect_race.h"
#include "pop3/server_address.h"
#include "pop3/stat_reply.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSslSocket>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

namespace modPOP3 {
namespace {

using namespace std::chrono_literals;

constexpr auto kReplyWait = 2000ms;
constexpr auto kStatWait = 500ms;
constexpr qint64 kEnoughBytes = 3;  // a wait ends on more than this
constexpr char kMarker[] = "+OK";
// A reply line is at most 512 bytes; a server that sends more, while an error
// box waits for its user, must not fill the memory.
constexpr qint64 kReadLimit = 64 * 1024;

// Everything received so far, once more than 3 bytes are in, or nothing at
// the deadline. Sleeps in the event loop meanwhile, so the window, the tray
// and the timer are served and no core is burnt.
std::optional<QByteArray> TakeData(QAbstractSocket& socket, std::chrono::milliseconds limit) {
  const QDeadlineTimer deadline(limit, Qt::PreciseTimer);  // monotonic: no midnight wrap
  while (socket.bytesAvailable() <= kEnoughBytes) {
    if (deadline.hasExpired()) return std::nullopt;
    QEventLoop loop;
    // A timer of the wait's own, which ends with it: a single shot would
    // wake the program after the wait was over.
    QTimer expiry;
    expiry.setSingleShot(true);
    expiry.setTimerType(Qt::PreciseTimer);
    QObject::connect(&expiry, &QTimer::timeout, &loop, &QEventLoop::quit);
    expiry.start(std::chrono::ceil<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()));
    QObject::connect(&socket, &QIODevice::readyRead, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return socket.readAll();
}

// "KEYWORD text" CR LF, or nothing when the text would break the line and
// so smuggle in a command of its own.
std::optional<QByteArray> CommandLine(const char* keyword, const QString& text) {
  if (text.contains('\r') || text.contains('\n')) return std::nullopt;
  return QByteArray(keyword) + ' ' + text.toUtf8() + "\r\n";
}

void Send(QAbstractSocket& socket, const QByteArray& line) {
  // Writing to a connection the server has dropped only warns; the wait
  // that follows fails the stage.
  if (socket.state() == QAbstractSocket::ConnectedState) socket.write(line);
}

// Why a secure connection failed, in words a user can act on.
QString Explain(const QSslError& error) {
  switch (error.error()) {
    case QSslError::HostNameMismatch:
      return QStringLiteral("The server's certificate names another host.");
    case QSslError::CertificateExpired:
      return QStringLiteral("The server's certificate has expired.");
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
      return QStringLiteral("The server's certificate is not trusted.");
    default:
      return QStringLiteral("The server's certificate was refused: %1").arg(error.errorString());
  }
}

// A new socket for every poll, of the kind it needs. A QSslSocket keeps
// its encrypted mode through abort() and setSocketDescriptor(), so one that
// served a TLS poll could neither start the next handshake nor talk plain.
// A TLS socket is made only for TLS, since making one loads the TLS stack
// (some megabytes) that a plain mailbox never needs.
QTcpSocket& NewSocket(std::unique_ptr<QTcpSocket>& sckClient, bool tls) {
  sckClient.reset(tls ? new QSslSocket : new QTcpSocket);
  return *sckClient;
}

// Starts the race to the first of the address's addresses that answers,
// which hands the connection to the socket and, for TLS, starts the
// handshake there, checked against the name typed.
std::unique_ptr<ConnectRace> Connect(QTcpSocket& socket, const ServerAddress& address) {
  const quint16 port = address.port.value_or(address.tls ? kPop3sPort : kPop3Port);
  return std::make_unique<ConnectRace>(address.host, port,
                                       [&socket, host = address.host, tls = address.tls](int fd) {
                                         if (!socket.setSocketDescriptor(fd)) {
                                           ::close(fd);
                                           return;  // the greeting's wait fails the stage
                                         }
                                         if (!tls) return;
                                         auto& secure = static_cast<QSslSocket&>(socket);
                                         secure.setPeerVerifyName(host);
                                         secure.startClientEncryption();
                                       });
}

constexpr int kNotNowShownAt = 60;  // an hour of one-minute ticks

struct Failure {
  QString message;
  bool notNow = false;  // the server refused the login only for now
};

// The stage's message, with the server's own reason when it gave one.
Failure Failed(const QString& stage, const Reply& reply) {
  const auto reason = ServerReason(reply.received);
  return {reason ? stage + '\n' + *reason : stage};
}

// As Failed, for a refusal of the login, which may be one for now only:
// the code in brackets right after -ERR says so.
Failure Refused(const QString& stage, const Reply& reply) {
  Failure failure = Failed(stage, reply);
  failure.notNow =
      reply.received.startsWith("-ERR [LOGIN-DELAY]") || reply.received.startsWith("-ERR [IN-USE]");
  return failure;
}

// Whether a failure passes without its box: a "not now" before the hour's
// last in a row.
bool Quiet(const Failure& failure, NotNow& notNow) {
  if (!failure.notNow) return false;
  if (++notNow.refused < kNotNowShownAt) return true;
  notNow.refused = 0;  // shown once; the next refusal begins another hour
  return false;
}

// The count, or how the stage that failed failed.
std::variant<qint32, Failure> Exchange(std::unique_ptr<QTcpSocket>& sckClient,
                                       const Account& account) {
  const QString connectFailed = QStringLiteral("Error: Connecting to POP3 Server");
  const auto address = ParseServerField(account.server());
  if (!address)
    return Failure{connectFailed + '\n' +
                   QStringLiteral("The server field is not a host name or "
                                  "a pop3:// or pop3s:// address.")};
  QTcpSocket& socket = NewSocket(sckClient, address->tls);
  socket.setReadBufferSize(kReadLimit);
  QString tlsProblem;
  QObject watch;  // ends the connections below when the exchange ends
  if (auto* secure = qobject_cast<QSslSocket*>(&socket))
    QObject::connect(secure, &QSslSocket::sslErrors, &watch, [&](const QList<QSslError>& errors) {
      if (!errors.isEmpty() && tlsProblem.isEmpty()) tlsProblem = Explain(errors.first());
    });
  QObject::connect(
      &socket, &QAbstractSocket::errorOccurred, &watch, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::SslHandshakeFailedError && tlsProblem.isEmpty())
          tlsProblem = QStringLiteral("The secure connection failed: %1").arg(socket.errorString());
      });
  const auto race = Connect(socket, *address);  // lives through the greeting's wait
  if (!WaitForReply(socket, kMarker).ok)
    return Failure{tlsProblem.isEmpty() ? connectFailed : connectFailed + '\n' + tlsProblem};

  const QString userFailed = QStringLiteral("Error: Sending Username to POP3 Server");
  const auto user = CommandLine("USER", account.user());
  if (!user) return Failure{userFailed};
  Send(socket, *user);
  if (const Reply reply = WaitForReply(socket, kMarker); !reply.ok)
    return Refused(userFailed, reply);

  const QString passwordFailed = QStringLiteral("Error: Sending Password to POP3 Server");
  const auto password = CommandLine("PASS", account.password());
  if (!password) return Failure{passwordFailed};
  Send(socket, *password);
  if (const Reply reply = WaitForReply(socket, kMarker); !reply.ok)
    return Refused(passwordFailed, reply);

  Send(socket, "STAT\r\n");
  const StatusReply status = ReadStatReply(socket, kMarker);
  if (!status.count)
    return Failed(QStringLiteral("Error: Reading amount of mails on POP3 Server"), status.reply);
  return *status.count;
}

Reply Wait(QAbstractSocket& socket, QByteArrayView marker, std::chrono::milliseconds limit) {
  auto data = TakeData(socket, limit);
  if (!data) return {};
  const bool ok = data->contains(marker);
  return {ok, std::move(*data)};
}

}  // namespace

qint32 GetMailCount(std::unique_ptr<QTcpSocket>& sckClient, const Account& account,
                    host::Host& host, NotNow& notNow) {
  if (sckClient && sckClient->state() != QAbstractSocket::UnconnectedState) sckClient->abort();
  const auto outcome = Exchange(sckClient, account);
  const auto* failure = std::get_if<Failure>(&outcome);
  if (!failure || !failure->notNow) notNow.refused = 0;  // the refusals in a row end
  if (failure && !Quiet(*failure, notNow)) host.MsgBox(failure->message);
  // No QUIT: dropping the connection ends the session without deleting mail.
  if (sckClient) sckClient->abort();
  const auto* count = std::get_if<qint32>(&outcome);
  return count ? *count : -1;
}

Reply WaitForReply(QAbstractSocket& sckClient, QByteArrayView marker) {
  return Wait(sckClient, marker, kReplyWait);
}

StatusReply ReadStatReply(QAbstractSocket& sckClient, QByteArrayView marker) {
  StatusReply status{Wait(sckClient, marker, kStatWait), std::nullopt};
  if (status.reply.ok) status.count = ParseStatReply(status.reply.received);
  return status;
}

std::optional<QString> ServerReason(const QByteArray& received) {
  constexpr qsizetype kReasonLength = 200;
  if (!received.startsWith("-ERR")) return std::nullopt;
  const qsizetype end = received.indexOf('\n');
  QString line = QString::fromUtf8(end < 0 ? received : received.first(end));
  line.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
  return line.left(kReasonLength).trimmed();
}

}  // namespace modPOP3
