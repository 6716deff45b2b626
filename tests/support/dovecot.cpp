#include "support/dovecot.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>

#include <unistd.h>

quint16 FreePort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return server.serverPort();
}

Dovecot::Dovecot(const QString& user, const QString& password, quint16 port, bool tls)
    : user_(user), port_(port ? port : FreePort()), tlsPort_(tls ? FreePort() : 0) {
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start("bash", {TALLOWIN_SCRIPTS_DIR "/mailbox.sh", "serve", dir_.path(),
                          QString::number(port_), user, password, QString::number(tlsPort_)});
  QByteArray said;
  while (!said.contains("ready\n") && process_.waitForReadyRead(30000)) said += process_.readAll();
  if (!said.contains("ready\n"))
    error_ = "dovecot did not start (dovecot-pop3d, and root): " + QString::fromUtf8(said) + log();
}

Dovecot::~Dovecot() {
  process_.terminate();
  if (!process_.waitForFinished(10000)) process_.kill();
  process_.waitForFinished(1000);
}

QString Dovecot::log() const {
  QFile file(dir_.path() + "/dovecot.log");
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString Dovecot::Maildir() const { return dir_.path() + "/mail/" + user_ + "/Maildir"; }

void Dovecot::AddMessage() {
  // Written in tmp/ and renamed, so the server never sees half a message.
  constexpr uid_t kMailUser = 65534;  // dovecot's mail processes run as nobody
  const QString name = QString("%1.tallowin-test").arg(++delivered_);
  const QString tmp = Maildir() + "/tmp/" + name;
  QFile file(tmp);
  if (file.open(QIODevice::WriteOnly))
    file.write("From: a@example.org\r\nSubject: test\r\n\r\nHi\r\n");
  file.close();
  [[maybe_unused]] const int owned =
      ::chown(QFile::encodeName(tmp).constData(), kMailUser, kMailUser);
  QFile::rename(tmp, Maildir() + "/new/" + name);
}

void Dovecot::RemoveMessages() {
  for (const char* sub : {"/new", "/cur"}) {
    QDir dir(Maildir() + sub);
    for (const QString& file : dir.entryList(QDir::Files)) dir.remove(file);
  }
}
