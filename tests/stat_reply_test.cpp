#include "pop3/stat_reply.h"

#include <QTest>

class StatReplyTest : public QObject {
  Q_OBJECT
 private slots:
  void parses_data();
  void parses();
};

void StatReplyTest::parses_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("size");

  QTest::newRow("usual") << QByteArray("+OK 2 320\r\n") << true << 2 << 320;
  QTest::newRow("empty mailbox") << QByteArray("+OK 0 0\r\n") << true << 0 << 0;
  QTest::newRow("twelve") << QByteArray("+OK 12 3456\r\n") << true << 12 << 3456;
  QTest::newRow("largest") << QByteArray("+OK 2147483647 1\r\n") << true << 2147483647 << 1;
  QTest::newRow("no line end") << QByteArray("+OK 7 70") << true << 7 << 70;
  QTest::newRow("tab after size") << QByteArray("+OK 3 30\t\r\n") << true << 3 << 30;
  // Positions 1 to 4 are not examined.
  QTest::newRow("other prefix") << QByteArray("xxxx5 50\r\n") << true << 5 << 50;

  QTest::newRow("no blank") << QByteArray("+OK 5\r\n") << false << 0 << 0;
  QTest::newRow("too short") << QByteArray("+OK ") << false << 0 << 0;
  QTest::newRow("empty count") << QByteArray("+OK  320\r\n") << false << 0 << 0;
  QTest::newRow("empty size") << QByteArray("+OK 2 \r\n") << false << 0 << 0;
  QTest::newRow("negative") << QByteArray("+OK -2 320\r\n") << false << 0 << 0;
  QTest::newRow("past 2^31") << QByteArray("+OK 2147483648 1\r\n") << false << 0 << 0;
  QTest::newRow("huge") << QByteArray("+OK 99999999999999999999 1\r\n") << false << 0 << 0;
  QTest::newRow("letters") << QByteArray("+OK two 320\r\n") << false << 0 << 0;
  QTest::newRow("tab instead of blank") << QByteArray("+OK 2\t320\r\n") << false << 0 << 0;
  QTest::newRow("extra fields") << QByteArray("+OK 2 320 extra\r\n") << false << 0 << 0;
  QTest::newRow("two replies") << QByteArray("+OK 2 320\r\n+OK\r\n") << false << 0 << 0;
  QTest::newRow("NUL in count") << QByteArray("+OK 2\0 3\r\n", 11) << false << 0 << 0;
  QTest::newRow("8-bit") << QByteArray("+OK \xb2 3\r\n") << false << 0 << 0;
}

void StatReplyTest::parses() {
  QFETCH(QByteArray, reply);
  QFETCH(bool, ok);
  const auto parsed = modPOP3::ParseStatReply(reply);
  QCOMPARE(parsed.has_value(), ok);
  if (!ok) return;
  QTEST(parsed->count, "count");
  QTEST(parsed->size, "size");
}

QTEST_APPLESS_MAIN(StatReplyTest)
#include "stat_reply_test.moc"
