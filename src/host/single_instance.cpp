#include "host/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <sys/socket.h>
#include <unistd.h>

namespace host {
namespace {

constexpr char kAnswer = 'K';

// The same file by whichever path it was reached; a file not yet made is
// named by its folder's real path.
QString RealPath(const QString& file) {
  const QFileInfo info(file);
  const QString real = info.canonicalFilePath();
  if (!real.isEmpty()) return real;
  const QString folder = QDir(info.path()).canonicalPath();
  return (folder.isEmpty() ? info.path() : folder) + '/' + info.fileName();
}

// The process at the other end of a local socket.
qint64 PeerPid(const QLocalSocket& socket) {
  ucred peer{};
  socklen_t size = sizeof peer;
  const int fd = static_cast<int>(socket.socketDescriptor());
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : 0;
}

}  // namespace

SingleInstance::SingleInstance(const QString& settingsFile) {
  // The runtime directory is the user's own (0700) and emptied at logout;
  // the user is in the name as well, for a directory that is shared.
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArray::number(::getuid()) + '\0' + RealPath(settingsFile).toUtf8());
  path_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
          QStringLiteral("/tallowin-") + QString::fromLatin1(hash.result().toHex().left(24));
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::Start(Request request) {
  QDeadlineTimer deadline(kAnswerMs);
  QLockFile lock(path_ + QStringLiteral(".lock"));
  if (!lock.tryLock(static_cast<int>(deadline.remainingTime()))) {
    QString hostName, appName;
    lock.getLockInfo(&silentPid_, &hostName, &appName);
    return Outcome::NoAnswer;
  }
  const Outcome outcome = HandOver(request, static_cast<int>(deadline.remainingTime()));
  if (outcome != Outcome::Run) return outcome;
  // Nobody answers on a socket file left by a copy that died.
  QLocalServer::removeServer(path_);
  server_ = std::make_unique<QLocalServer>();
  // Where no socket can be made, run all the same, as one copy did before.
  server_->listen(path_);
  return Outcome::Run;
}

SingleInstance::Outcome SingleInstance::HandOver(Request request, int waitMs) {
  QDeadlineTimer deadline(waitMs);
  QLocalSocket socket;
  socket.connectToServer(path_);
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
    const auto error = socket.error();
    return error == QLocalSocket::ServerNotFoundError ||
                   error == QLocalSocket::ConnectionRefusedError
               ? Outcome::Run
               : Outcome::NoAnswer;
  }
  const char byte = static_cast<char>(request);
  socket.write(&byte, 1);
  char answer = 0;
  if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
      socket.getChar(&answer) && answer == kAnswer)
    return Outcome::HandedOver;
  silentPid_ = PeerPid(socket);
  return Outcome::NoAnswer;
}

void SingleInstance::OnRequest(QObject& context, std::function<void(Request)> onRequest) {
  if (!server_) return;
  QLocalServer* server = server_.get();
  QObject::connect(server, &QLocalServer::newConnection, &context, [server, onRequest] {
    while (QLocalSocket* peer = server->nextPendingConnection()) {
      QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, onRequest] {
        char byte = 0;
        if (!peer->getChar(&byte)) return;
        // Answer first: the new start is waiting to end.
        peer->putChar(kAnswer);
        peer->disconnectFromServer();
        onRequest(byte == static_cast<char>(Request::Show) ? Request::Show : Request::Quiet);
      });
    }
  });
}

}  // namespace host
