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
  Dovecot server_{"alice", "s3cret = with blanks"};
};

void MailCountDovecotTest::poll_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("password");
  QTest::addColumn<bool>("trustTestCa");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("message");  // "*": any box of the connecting stage

  const QString right = "s3cret = with blanks", connecting = kConnecting + "\n";
  QTest::newRow("plain") << "pop3://127.0.0.1:{plain}" << right << false << 0 << "";
  QTest::newRow("plain, IPv6") << "pop3://[::1]:{plain}" << right << false << 0 << "";
  QTest::newRow("wrong password") << "pop3://127.0.0.1:{plain}"
                                  << "wrong" << false << -1
                                  << kPassword + "\n-ERR [AUTH] Authentication failed.";
  QTest::newRow("TLS, trusted") << "pop3s://localhost:{tls}" << right << true << 0 << "";
  QTest::newRow("TLS, untrusted") << "pop3s://localhost:{tls}" << right << false << -1
                                  << connecting + "The server's certificate is not trusted.";
  QTest::newRow("TLS, another host's certificate")
      << "pop3s://127.0.0.1:{tls}" << right << true << -1
      << connecting + "The server's certificate names another host.";
  QTest::newRow("TLS to a plain port") << "pop3s://localhost:{plain}" << right << true << -1 << "*";
}

void MailCountDovecotTest::poll() {
  QFETCH(QString, field);
  QFETCH(QString, password);
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
  QTEST(modPOP3::GetMailCount(socket, AccountOf(field, "alice", password), host), "result");
  if (message == "*") {
    QCOMPARE(host.boxes.size(), 1);
    QVERIFY2(host.boxes[0].startsWith(kConnecting), qPrintable(host.boxes[0]));
  } else {
    QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
  }
}

QTEST_GUILESS_MAIN(MailCountDovecotTest)
#include "mail_count_dovecot_test.moc"
