// The mail count query against a real POP3 server, plain and inside TLS.
#include "pop3/mail_count.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The throwaway mailbox of scripts/mailbox.sh: a private dovecot on two
// loopback ports, plain and inside TLS with a certificate of its own for
// "localhost" only. Needs root, as dovecot does.
class Dovecot {
 public:
  Dovecot(const QString& user, const QString& password) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("bash", {TALLOWIN_SCRIPTS_DIR "/mailbox.sh", "serve", dir_.path(),
                            QString::number(port), user, password, QString::number(tlsPort)});
    QByteArray said;
    while (!said.contains("ready\n") && process_.waitForReadyRead(30000))
      said += process_.readAll();
    if (!said.contains("ready\n"))
      error = "dovecot did not start (dovecot-pop3d, and root): " + said;
  }
  ~Dovecot() {
    process_.terminate();
    process_.waitForFinished(10000);
  }
  QString certificate() const { return dir_.path() + "/cert.pem"; }

  const quint16 port = FreePort(), tlsPort = FreePort();
  QString error;

 private:
  QTemporaryDir dir_;
  QProcess process_;
};

}  // namespace

class MailCountDovecotTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QVERIFY2(server_.error.isEmpty(), qPrintable(server_.error)); }
  void poll_data();
  void poll();

 private:
  static inline const QString kSecret = "s3cret = with blanks";
  Dovecot server_{"alice", kSecret};
};

void MailCountDovecotTest::poll_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("trustTestCa");
  QTest::addColumn<QString>("message");  // empty: the count, 0

  const QString connecting = kConnecting + "\n";
  QTest::newRow("plain, IPv6") << "pop3://[::1]:{plain}" << false << "";
  QTest::newRow("TLS, trusted") << "pop3s://localhost:{tls}" << true << "";
  QTest::newRow("TLS, untrusted") << "pop3s://localhost:{tls}" << false
                                  << connecting + "The server's certificate is not trusted.";
  QTest::newRow("TLS, another host's certificate")
      << "pop3s://127.0.0.1:{tls}" << true
      << connecting + "The server's certificate names another host.";
}

void MailCountDovecotTest::poll() {
  QFETCH(QString, field);
  QFETCH(bool, trustTestCa);
  QFETCH(QString, message);
  QSslSocket socket;
  if (trustTestCa) {
    QSslConfiguration config = socket.sslConfiguration();
    config.addCaCertificates(server_.certificate());
    socket.setSslConfiguration(config);
  }
  field.replace("{plain}", QString::number(server_.port))
      .replace("{tls}", QString::number(server_.tlsPort));
  TestHost host;
  const qint32 count = modPOP3::GetMailCount(socket, AccountOf(field, "alice", kSecret), host);
  QCOMPARE(count, message.isEmpty() ? 0 : -1);
  QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
}

QTEST_GUILESS_MAIN(MailCountDovecotTest)
#include "mail_count_dovecot_test.moc"
