// The mail count query against a real POP3 server.
#include "pop3/mail_count.h"
#include "support/dovecot.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QRegularExpression>
#include <QSslSocket>
#include <QTest>

class MailCountDovecotTest : public QObject {
  Q_OBJECT
 private slots:
  void countsAndFollowsTheMailbox();
  void wrongPassword();
  void secureAndChosenPort_data();
  void secureAndChosenPort();

 private:
  static qint32 Poll(const Dovecot& server, const QString& password, TestHost& host) {
    QSslSocket socket;
    return modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port()), "alice", password),
                                 host);
  }
};

void MailCountDovecotTest::countsAndFollowsTheMailbox() {
  Dovecot server("alice", "s3cret = with blanks");
  QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
  TestHost host;
  QVERIFY2(Poll(server, "s3cret = with blanks", host) == 0,
           qPrintable(host.boxes.join(", ") + "\n" + server.log()));
  server.AddMessage();
  server.AddMessage();
  server.AddMessage();
  QCOMPARE(Poll(server, "s3cret = with blanks", host), 3);
  // Closing without QUIT deletes nothing: the next session sees the same.
  QCOMPARE(Poll(server, "s3cret = with blanks", host), 3);
  server.RemoveMessages();
  QCOMPARE(Poll(server, "s3cret = with blanks", host), 0);
  QVERIFY(host.boxes.isEmpty());
  // Every session was dropped, none ended with QUIT.
  const QRegularExpression dropped("pop3\\(alice\\).*Disconnected: Connection closed");
  QTRY_COMPARE(server.log().count(dropped), 4);
  QVERIFY2(!server.log().contains("Logged out"), qPrintable(server.log()));
}

void MailCountDovecotTest::wrongPassword() {
  Dovecot server("alice", "right");
  QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
  TestHost host;
  QCOMPARE(Poll(server, "wrong", host), -1);
  QCOMPARE(host.boxes, QStringList{kPassword + "\n-ERR [AUTH] Authentication failed."});
  // The failure leaves nothing behind: the right password works at once.
  QCOMPARE(Poll(server, "right", host), 0);
}

void MailCountDovecotTest::secureAndChosenPort_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("trustTestCa");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("message");

  const QString connecting = "Error: Connecting to POP3 Server\n";
  QTest::newRow("trusted") << "pop3s://localhost:{tls}" << true << 0 << "";
  QTest::newRow("untrusted") << "pop3s://localhost:{tls}" << false << -1
                             << connecting + "The server's certificate is not trusted.";
  QTest::newRow("another host's certificate")
      << "pop3s://127.0.0.1:{tls}" << true << -1
      << connecting + "The server's certificate names another host.";
  QTest::newRow("TLS to a plain port") << "pop3s://localhost:{plain}" << true << -1 << "";
  QTest::newRow("plain, chosen port") << "pop3://127.0.0.1:{plain}" << false << 0 << "";
  QTest::newRow("plain, IPv6 and chosen port") << "pop3://[::1]:{plain}" << false << 0 << "";
}

void MailCountDovecotTest::secureAndChosenPort() {
  QFETCH(QString, field);
  QFETCH(bool, trustTestCa);
  QFETCH(QString, message);
  Dovecot server("alice", "pw", 0, /*tls=*/true);
  QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));

  QSslSocket socket;
  if (trustTestCa) {
    QSslConfiguration config = socket.sslConfiguration();
    config.addCaCertificates(server.certificate());
    socket.setSslConfiguration(config);
  }
  const QString address = QString(field)
                              .replace("{plain}", QString::number(server.port()))
                              .replace("{tls}", QString::number(server.tlsPort()));
  TestHost host;
  QTEST(modPOP3::GetMailCount(socket, AccountOf(address, "alice", "pw"), host), "result");
  if (!message.isEmpty())
    QCOMPARE(host.boxes, QStringList{message});
  else if (host.boxes.size() == 1)
    QVERIFY(host.boxes[0].startsWith("Error: Connecting"));
}

QTEST_GUILESS_MAIN(MailCountDovecotTest)
#include "mail_count_dovecot_test.moc"
