#include "pop3/stat_reply.h"

#include <QTest>

class StatReplyTest : public QObject {
  Q_OBJECT
 private slots:
  void parses_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count");  // -1: refused

    QTest::newRow("usual") << QByteArray("+OK 2 320\r\n") << 2;
    QTest::newRow("largest count") << QByteArray("+OK 2147483647 1\r\n") << 2147483647;
    // Positions 1 to 4 are not examined.
    QTest::newRow("other prefix") << QByteArray("xxxx5 50\r\n") << 5;
    // The size is not needed: a mailbox past 2 GiB, or text after the size,
    // must not stop the watching.
    QTest::newRow("size past 2^31") << QByteArray("+OK 1500 3221225472\r\n") << 1500;
    QTest::newRow("text after size") << QByteArray("+OK 2 320 messages\r\n") << 2;

    // Other refusals follow from the fuzzer's rule: a count only where the
    // reply holds one.
    QTest::newRow("no blank") << QByteArray("+OK 5\r\n") << -1;
    QTest::newRow("count past 2^31") << QByteArray("+OK 2147483648 1\r\n") << -1;
    QTest::newRow("letters") << QByteArray("+OK two 320\r\n") << -1;
    QTest::newRow("tab instead of blank") << QByteArray("+OK 2\t320\r\n") << -1;
  }

  void parses() {
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    QCOMPARE(modPOP3::ParseStatReply(reply).value_or(-1), count);
  }
};

QTEST_APPLESS_MAIN(StatReplyTest)
#include "stat_reply_test.moc"
