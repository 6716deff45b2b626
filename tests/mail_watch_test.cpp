// The decisions of the watch, poll by poll, without a window.
#include "notifier/mail_watch.h"

#include <QRegularExpression>
#include <QTest>

class MailWatchTest : public QObject {
  Q_OBJECT
 private slots:
  void decides_data() {
    // Events, each a minimise ("m") or a tick ("t") and the count the server
    // gives ("x": the poll failed); a tick names its outcome: "+" new mail,
    // "." none. "(t)" or "(m)" after a count: a tick or a minimise comes
    // while that poll still waits for the server or shows its error box.
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("last");  // the remembered count at the end; -1: none
    QTest::newRow("a rise is announced until the count falls back")
        << "m3 t5+ t5+ t4+ t3. t3." << 3;
    QTest::newRow("a lower count is taken silently") << "m5 t2. t3+" << 2;
    QTest::newRow("a failed poll keeps the count") << "m2 tx. t3+ t1." << 1;
    QTest::newRow("no baseline: the next count is it") << "mx t1. t1. t2+" << 1;
    QTest::newRow("a failed baseline is none") << "mx" << -1;
    QTest::newRow("a new minimise takes a new baseline") << "m1 t4+ m4 t4." << 4;
    // There is one socket: what comes while a poll waits polls not again.
    QTest::newRow("a tick while a poll waits") << "m1 t3(t)+ t1." << 1;
    QTest::newRow("a minimise while a tick's poll waits: its count is the baseline")
        << "m1 t3(m). t3." << 3;
    QTest::newRow("a minimise while a tick's poll fails: no baseline") << "m1 tx(m). t2. t3+" << 2;
    QTest::newRow("a tick while the minimise's poll waits") << "m1(t) t3+" << 1;
    QTest::newRow("a minimise while the minimise's own poll waits: one baseline")
        << "m1(m) t3+" << 1;
  }

  void decides() {
    QFETCH(QString, events);
    QList<qint32> counts;
    std::function<void()> meanwhile;
    qsizetype polls = 0;
    MailWatch watch([&] {
      if (meanwhile) std::exchange(meanwhile, nullptr)();
      return counts.value(polls++, -1);
    });
    static const QRegularExpression marks(R"([+.]|\(.\))");
    for (const QString& event : events.split(' ')) {
      const QString count = event.mid(1).remove(marks);
      counts << (count == "x" ? -1 : count.toInt());
      if (event.contains("(t)")) meanwhile = [&] { QVERIFY(!watch.Tick()); };
      if (event.contains("(m)")) meanwhile = [&] { watch.Minimised(); };
      if (event[0] == 'm') {
        watch.Minimised();
        continue;
      }
      const auto expected =
          event.endsWith('+') ? MailWatch::Outcome::NewMail : MailWatch::Outcome::NoNewMail;
      QVERIFY2(watch.Tick() == expected, qPrintable(event));
    }
    QCOMPARE(polls, counts.size());  // none that no event asked for
    QTEST(watch.LastMailCount().value_or(-1), "last");
  }
};

QTEST_APPLESS_MAIN(MailWatchTest)
#include "mail_watch_test.moc"
