#include "host/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

// Whether a later start has stopped waiting for the answer (this copy was
// stopped meanwhile) and closed its end: its request is stale, and a window
// brought back long after would only surprise.
bool GaveUp(QLocalSocket& peer) {
  if (peer.state() != QLocalSocket::ConnectedState) return true;
  char next;
  const int fd = static_cast<int>(peer.socketDescriptor());
  return ::recv(fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

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

// Without XDG_RUNTIME_DIR (ssh -X, su) Qt makes a folder of its own in /tmp,
// where the copy the desktop started is not found: the login's own folder is
// taken first when it is there and the user's alone.
QString RuntimeDir() {
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QByteArray login = "/run/user/" + QByteArray::number(::getuid());
    struct stat info {};
    if (::stat(login.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid() && (info.st_mode & 07777) == 0700)
      return QString::fromLatin1(login);
  }
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

}  // namespace

SingleInstance::SingleInstance(const QString& settingsFile) {
  // The runtime directory is the user's own (0700) and emptied at logout;
  // the user is in the name as well, for a directory that is shared.
  const QString folder = RuntimeDir();
  if (folder.isEmpty()) return;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArray::number(::getuid()) + '\0' + RealPath(settingsFile).toUtf8());
  path_ = folder + QStringLiteral("/tallowin-") +
          QString::fromLatin1(hash.result().toHex().left(24));
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::Start(Request request) {
  // Where no lock or socket can be made (no usable runtime folder, a full
  // one), run all the same, as one copy did before.
  if (path_.isEmpty()) return Outcome::Run;
  QDeadlineTimer deadline(kAnswerMs);
  QLockFile lock(path_ + QStringLiteral(".lock"));
  if (!lock.tryLock(static_cast<int>(deadline.remainingTime()))) {
    if (lock.error() != QLockFile::LockFailedError) return Outcome::Run;
    QString hostName, appName;
    lock.getLockInfo(&silentPid_, &hostName, &appName);
    return Outcome::NoAnswer;
  }
  const Outcome outcome = HandOver(request, static_cast<int>(deadline.remainingTime()));
  if (outcome != Outcome::Run) return outcome;
  // Nobody answers on a socket file left by a copy that died.
  QLocalServer::removeServer(path_);
  server_ = std::make_unique<QLocalServer>();
  server_->listen(path_);
  return Outcome::Run;
}

void SingleInstance::StopListening() {
  // The starts already waiting are closed with it, and so run.
  server_.reset();
}

SingleInstance::Outcome SingleInstance::HandOver(Request request, int waitMs) {
  QDeadlineTimer deadline(waitMs);
  for (;;) {
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
    // Closed without an answer: that copy is ending. Ask again, and run
    // once nobody listens.
    if (socket.state() == QLocalSocket::UnconnectedState && !deadline.hasExpired()) continue;
    silentPid_ = PeerPid(socket);
    return Outcome::NoAnswer;
  }
}

void SingleInstance::OnRequest(QObject& context, std::function<void(Request)> onRequest) {
  if (!server_) return;
  QLocalServer* server = server_.get();
  QObject::connect(server, &QLocalServer::newConnection, &context, [server, onRequest] {
    while (QLocalSocket* peer = server->nextPendingConnection()) {
      QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      // A start has its byte sent at once; a peer silent past the time a
      // start waits is dropped, not kept for ever. Gone with the peer.
      auto* silence = new QTimer(peer);
      silence->setSingleShot(true);
      QObject::connect(silence, &QTimer::timeout, peer, &QObject::deleteLater);
      silence->start(kAnswerMs);
      QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, onRequest] {
        char byte = 0;
        if (!peer->getChar(&byte)) return;
        if (GaveUp(*peer)) return peer->abort();
        // Answer first: the new start is waiting to end.
        peer->putChar(kAnswer);
        peer->disconnectFromServer();
        onRequest(byte == static_cast<char>(Request::Show) ? Request::Show : Request::Quiet);
      });
    }
  });
}

}  // namespace host
