#include "scripted_server.h"

#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

std::unique_ptr<QTcpServer> ServerFor(const QSslConfiguration& tls) {
  if (tls.isNull()) return std::make_unique<QTcpServer>();
  auto server = std::make_unique<QSslServer>();
  server->setSslConfiguration(tls);
  return server;
}

}  // namespace

ScriptedServer::ScriptedServer(QList<Reply> replies, const QSslConfiguration& tls)
    : server_(ServerFor(tls)), replies_(std::move(replies)) {
  server_->listen(QHostAddress::LocalHost);
  // Inside TLS, a connection is pending once its handshake is done.
  connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
      clientGone_ = false;
      auto lines = std::make_shared<int>(0);
      connect(socket, &QTcpSocket::readyRead, socket, [this, socket, lines] {
        const QByteArray data = socket->readAll();
        received_ += data;
        for (qsizetype ends = data.count('\n'); ends > 0; --ends)
          if (++*lines < replies_.size()) Play(socket, replies_[*lines]);
      });
      connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        clientGone_ = true;
        socket->deleteLater();
      });
      if (!replies_.isEmpty()) Play(socket, replies_[0]);
    }
  });
}

void ScriptedServer::Play(QTcpSocket* socket, const Reply& reply) {
  // Timed on the socket, so a socket that has gone cancels it.
  QTimer::singleShot(reply.delay, socket, [socket, reply] {
    if (socket->state() != QAbstractSocket::ConnectedState) return;
    if (reply.reset) {
      const linger hard{1, 0};  // closing with a zero linger sends a reset
      ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                   sizeof hard);
      socket->abort();
    } else if (reply.repeat > 1) {
      Flood(socket, reply.bytes, reply.repeat);
    } else {
      socket->write(reply.bytes);
      socket->flush();
    }
  });
}

void ScriptedServer::Flood(QTcpSocket* socket, const QByteArray& bytes, qint64 times) {
  // Only a little is queued at a time, so the flood costs the client's
  // memory, not the server's.
  auto left = std::make_shared<qint64>(times);
  auto topUp = [socket, bytes, left] {
    while (*left > 0 && socket->bytesToWrite() < 256 * 1024) {
      socket->write(bytes);
      --*left;
    }
  };
  QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
  topUp();
}
