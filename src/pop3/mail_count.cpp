#include "pop3/mail_count.h"

#include "notifier/host.h"
#include "pop3/server_address.h"
#include "pop3/stat_reply.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <optional>

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
    QTimer::singleShot(
        std::chrono::ceil<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()),
        Qt::PreciseTimer, &loop, &QEventLoop::quit);
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

// Opens the connection the server field asks for; the reason when it is
// malformed.
std::optional<QString> Connect(QSslSocket& socket, const QString& field, quint16 plainPort) {
  const auto address = ParseServerField(field);
  if (!address)
    return QStringLiteral("The server field is not a host name or a pop3:// or pop3s:// address.");
  if (address->tls)
    socket.connectToHostEncrypted(address->host, address->port.value_or(kPop3sPort));
  else
    socket.connectToHost(address->host, address->port.value_or(plainPort));
  return std::nullopt;
}

// Runs the exchange; the message of the stage that failed, or none.
QString Exchange(QSslSocket& socket, const Account& account, quint16 plainPort, qint32& result) {
  const QString connectFailed = QStringLiteral("Error: Connecting to POP3 Server");
  QString tlsProblem;
  QObject watch;  // ends both connections below when the exchange ends
  QObject::connect(&socket, &QSslSocket::sslErrors, &watch, [&](const QList<QSslError>& errors) {
    if (!errors.isEmpty() && tlsProblem.isEmpty()) tlsProblem = Explain(errors.first());
  });
  QObject::connect(
      &socket, &QAbstractSocket::errorOccurred, &watch, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::SslHandshakeFailedError && tlsProblem.isEmpty())
          tlsProblem = QStringLiteral("The secure connection failed: %1").arg(socket.errorString());
      });
  if (const auto malformed = Connect(socket, account.server(), plainPort))
    return connectFailed + '\n' + *malformed;
  if (!WaitForReply(socket, kMarker))
    return tlsProblem.isEmpty() ? connectFailed : connectFailed + '\n' + tlsProblem;

  const QString userFailed = QStringLiteral("Error: Sending Username to POP3 Server");
  const auto user = CommandLine("USER", account.user());
  if (!user) return userFailed;
  Send(socket, *user);
  if (!WaitForReply(socket, kMarker)) return userFailed;

  const QString passwordFailed = QStringLiteral("Error: Sending Password to POP3 Server");
  const auto password = CommandLine("PASS", account.password());
  if (!password) return passwordFailed;
  Send(socket, *password);
  if (!WaitForReply(socket, kMarker)) return passwordFailed;

  Send(socket, "STAT\r\n");
  qint32 count = 0;
  qint32 size = 0;
  if (!ReadStatReply(socket, kMarker, count, size))
    return QStringLiteral("Error: Reading amount of mails on POP3 Server");
  result = count;
  return {};
}

}  // namespace

qint32 GetMailCount(QSslSocket& sckClient, const Account& account, host::Host& host,
                    quint16 plainPort) {
  qint32 result = -1;
  if (sckClient.state() != QAbstractSocket::UnconnectedState) sckClient.abort();
  sckClient.setReadBufferSize(kReadLimit);
  const QString failure = Exchange(sckClient, account, plainPort, result);
  if (!failure.isEmpty()) host.MsgBox(failure);
  // No QUIT: dropping the connection ends the session without deleting mail.
  sckClient.abort();
  return result;
}

bool WaitForReply(QAbstractSocket& sckClient, QByteArrayView marker) {
  const auto data = TakeData(sckClient, kReplyWait);
  return data && data->contains(marker);
}

bool ReadStatReply(QAbstractSocket& sckClient, QByteArrayView marker, qint32& count, qint32& size) {
  const auto data = TakeData(sckClient, kStatWait);
  if (!data || !data->contains(marker)) return false;
  const auto reply = ParseStatReply(*data);
  if (!reply) return false;
  count = reply->count;
  size = reply->size;
  return true;
}

}  // namespace modPOP3
