#include "pop3/stat_reply.h"

#include <QTest>

class StatReplyTest : public QObject {
  Q_OBJECT
 private slots:
  void parses() {
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

QTEST_APPLESS_MAIN(StatReplyTest)
#include "stat_reply_test.moc"
