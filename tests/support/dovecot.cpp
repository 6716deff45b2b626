#include "dovecot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kMailUid = 65534;  // dovecot will not run mail processes as root

bool WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool ChownTree(const QString& path) {
  if (::chown(QFile::encodeName(path).constData(), kMailUid, kMailUid) != 0) return false;
  for (const QString& entry : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    if (!ChownTree(path + '/' + entry)) return false;
  return true;
}

// Ready means a connection reads a greeting: a bare connect may be answered
// before the login process is up.
bool Greets(quint16 port) {
  QTcpSocket probe;
  probe.connectToHost(QHostAddress::LocalHost, port);
  if (!probe.waitForConnected(200)) return false;
  while (probe.bytesAvailable() < 3 && probe.waitForReadyRead(500)) {
  }
  return probe.readAll().startsWith("+OK");
}

}  // namespace

quint16 FreePort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return server.serverPort();
}

Dovecot::Dovecot(const QString& user, const QString& password, quint16 port, bool tls)
    : user_(user), port_(port ? port : FreePort()), tlsPort_(tls ? FreePort() : 0) {
  const QString dovecot = QStandardPaths::findExecutable("dovecot", {"/usr/sbin", "/usr/bin"});
  if (dovecot.isEmpty()) {
    error_ = "dovecot is not installed (dovecot-pop3d)";
    return;
  }
  const QString d = dir_.path();
  QDir(d).mkpath("run");
  QDir(d).mkpath("state");
  QDir(d).mkpath(Maildir() + "/tmp");
  QDir(d).mkpath(Maildir() + "/new");
  QDir(d).mkpath(Maildir() + "/cur");
  QString ssl = "ssl = no\n";
  if (tls) {
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
                              "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                              "-keyout", d + "/key.pem", "-out", certificate()});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
      error_ = "cannot make a test certificate (openssl)";
      return;
    }
    ssl = QString("ssl = yes\nssl_cert = <%1\nssl_key = <%2/key.pem\n").arg(certificate(), d);
  }
  const QString conf = ssl + QString(R"(instance_name = pop3test-%2
base_dir = %1/run
state_dir = %1/state
log_path = %1/dovecot.log
protocols = pop3
listen = 127.0.0.1, ::1
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u %1/users
}
userdb {
  driver = static
  args = uid=%3 gid=%3 home=%1/mail/%u
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    port = %2
  }
  inet_listener pop3s {
    port = %4
    ssl = yes
  }
}
)")
                                 .arg(d)
                                 .arg(port_)
                                 .arg(kMailUid)
                                 .arg(tlsPort_);
  if (!WriteFile(d + "/dovecot.conf", conf.toUtf8()) ||
      !WriteFile(d + "/users", (user + ":{PLAIN}" + password + "\n").toUtf8()) ||
      !ChownTree(d + "/mail")) {
    error_ = "cannot prepare dovecot's directory (is this root?)";
    return;
  }
  ::chmod(QFile::encodeName(d).constData(), 0755);  // the mail user walks through it

  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start(dovecot, {"-F", "-c", d + "/dovecot.conf"});
  QElapsedTimer waited;
  waited.start();
  while (!Greets(port_)) {
    if (process_.state() == QProcess::NotRunning || waited.elapsed() > 10000) {
      error_ = "dovecot did not start: " + QString::fromUtf8(process_.readAll()) + log();
      return;
    }
    QThread::msleep(20);
  }
}

Dovecot::~Dovecot() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(5000)) process_.kill();
  process_.waitForFinished(1000);
}

QString Dovecot::log() const {
  QFile file(dir_.path() + "/dovecot.log");
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString Dovecot::Maildir() const { return dir_.path() + "/mail/" + user_ + "/Maildir"; }

void Dovecot::AddMessage() {
  // Written in tmp/ and renamed, so the server never sees half a message.
  const QString name = QString("%1.tallowin-test").arg(++delivered_);
  const QString tmp = Maildir() + "/tmp/" + name;
  WriteFile(tmp, "From: a@example.org\r\nSubject: test\r\n\r\nHello\r\n");
  ::chown(QFile::encodeName(tmp).constData(), kMailUid, kMailUid);
  QFile::rename(tmp, Maildir() + "/new/" + name);
}

void Dovecot::RemoveMessages() {
  for (const char* sub : {"/new", "/cur"}) {
    QDir dir(Maildir() + sub);
    for (const QString& file : dir.entryList(QDir::Files)) dir.remove(file);
  }
}
