// What the mail count query reads from others: the server field as the user
// typed it, and the server's reply to STAT.
#include "pop3/server_address.h"
#include "pop3/stat_reply.h"

#include <QTest>

class Pop3TextTest : public QObject {
  Q_OBJECT
 private slots:
  void serverField() {
    // "host|port|tls", port 0 for the scheme's; "": refused.
    const auto parsed = [](const QString& field) {
      const auto a = modPOP3::ParseServerField(field);
      if (!a) return QString();
      return QString("%1|%2|%3").arg(a->host).arg(a->port.value_or(0)).arg(a->tls);
    };
    // What works today keeps working: the field is the host, as it stands.
    QCOMPARE(parsed("mail.example.org"), "mail.example.org|0|0");
    QCOMPARE(parsed("::1"), "::1|0|0");

    QCOMPARE(parsed("pop3s://pop.example.org:1995"), "pop.example.org|1995|1");
    QCOMPARE(parsed("POP3S://h"), "h|0|1");
    QCOMPARE(parsed("pop3://127.0.0.1:1110"), "127.0.0.1|1110|0");
    QCOMPARE(parsed("pop3s://[2001:db8::1]"), "2001:db8::1|0|1");
    QCOMPARE(parsed("pop3://[::1]:2110"), "::1|2110|0");

    for (const char* refused :
         {"pop3s://", "pop3://h:0", "pop3://h:65536", "pop3://::1", "pop3://me@h"})
      QVERIFY2(parsed(refused).isEmpty(), refused);
  }

  void statReply() {
    const auto count = [](const QByteArray& reply) {
      return modPOP3::ParseStatReply(reply).value_or(-1);  // -1: refused
    };
    QCOMPARE(count("+OK 2 320\r\n"), 2);
    QCOMPARE(count("+OK 2147483647 1\r\n"), 2147483647);
    QCOMPARE(count("xxxx5 50\r\n"), 5);  // positions 1 to 4 are not examined
    // The size is not needed: a mailbox past 2 GiB, or text after the size,
    // must not stop the watching.
    QCOMPARE(count("+OK 1500 3221225472\r\n"), 1500);
    QCOMPARE(count("+OK 2 320 messages\r\n"), 2);

    // Refusals follow from the fuzzer's rule: a count only where the reply
    // holds one.
    QCOMPARE(count("+OK 5\r\n"), -1);
  }
};

QTEST_APPLESS_MAIN(Pop3TextTest)
#include "pop3_text_test.moc"
