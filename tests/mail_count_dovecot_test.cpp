// The mail count query against a real POP3 server.
#include "pop3/mail_count.h"
#include "support/dovecot.h"
#include "support/test_host.h"

#include <QTcpSocket>
#include <QTest>

class MailCountDovecotTest : public QObject {
  Q_OBJECT
 private slots:
  void countsAndFollowsTheMailbox();
  void wrongPassword();

 private:
  static qint32 Poll(const Dovecot& server, const QString& password, TestHost& host) {
    QTcpSocket socket;
    const modPOP3::Account account{[] { return QString("127.0.0.1"); },
                                   [] { return QString("alice"); }, [=] { return password; }};
    return modPOP3::GetMailCount(socket, account, host, server.port());
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
}

void MailCountDovecotTest::wrongPassword() {
  Dovecot server("alice", "right");
  QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
  TestHost host;
  QCOMPARE(Poll(server, "wrong", host), -1);
  QCOMPARE(host.boxes, QStringList{"Error: Sending Password to POP3 Server"});
  // The failure leaves nothing behind: the right password works at once.
  QCOMPARE(Poll(server, "right", host), 0);
}

QTEST_GUILESS_MAIN(MailCountDovecotTest)
#include "mail_count_dovecot_test.moc"
