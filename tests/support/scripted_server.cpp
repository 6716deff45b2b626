#include "scripted_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

ScriptedServer::ScriptedServer(QList<Reply> replies) : replies_(std::move(replies)) {
  server_.listen(QHostAddress::LocalHost);
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      ++connections_;
      clientGone_ = false;
      auto lines = std::make_shared<int>(0);
      auto pending = std::make_shared<QByteArray>();
      connect(socket, &QTcpSocket::readyRead, socket, [this, socket, lines, pending] {
        const QByteArray data = socket->readAll();
        received_ += data;
        *pending += data;
        qsizetype lf;
        while ((lf = pending->indexOf('\n')) >= 0) {
          pending->remove(0, lf + 1);
          ++*lines;
          if (*lines < replies_.size()) Play(socket, replies_[*lines]);
        }
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
  std::chrono::milliseconds at{0};
  QPointer<QTcpSocket> guarded(socket);
  for (const Chunk& chunk : reply) {
    at += chunk.delay;
    QTimer::singleShot(at, this, [guarded, chunk] {
      if (!guarded || guarded->state() != QAbstractSocket::ConnectedState) return;
      guarded->write(chunk.bytes);
      guarded->flush();
      if (chunk.closeAfter) guarded->disconnectFromHost();
    });
  }
}
