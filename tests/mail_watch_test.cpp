// The decisions of the watch, poll by poll, without a window.
#include "notifier/mail_watch.h"

#include <QTest>

class MailWatchTest : public QObject {
  Q_OBJECT
 private slots:
  void decides_data() {
    // Events, each a minimise ("m") or a tick ("t") and the count the server
    // gives ("x": the poll failed); a tick names its outcome: "+" new mail,
    // "." none.
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("last");  // the remembered count at the end; -1: none
    QTest::newRow("a rise is announced until the count falls back")
        << "m3 t5+ t5+ t4+ t3. t3." << 3;
    QTest::newRow("a lower count is taken silently") << "m5 t2. t3+" << 2;
    QTest::newRow("a failed poll keeps the count") << "m2 tx. t1. t2+" << 1;
    QTest::newRow("no baseline: the next count is it") << "mx t1. t1. t2+" << 1;
    QTest::newRow("a failed baseline is none") << "mx" << -1;
    QTest::newRow("a new minimise takes a new baseline") << "m1 t4+ m4 t4." << 4;
  }

  void decides() {
    QFETCH(QString, events);
    QList<qint32> counts;
    MailWatch watch([&] { return counts.takeFirst(); });
    for (const QString& event : events.split(' ')) {
      const QString count = event.mid(1).remove('+').remove('.');
      counts << (count == "x" ? -1 : count.toInt());
      if (event[0] == 'm') {
        watch.Minimised();
        continue;
      }
      const auto expected =
          event.endsWith('+') ? MailWatch::Outcome::NewMail : MailWatch::Outcome::NoNewMail;
      QVERIFY2(watch.Tick() == expected, qPrintable(event));
    }
    QTEST(watch.LastMailCount().value_or(-1), "last");
  }

  void pollUnderWayIsNotInterrupted() {
    // A tick, or a minimise, while a poll still waits for the server or
    // shows its error box: there is one socket, so it polls not again.
    int polls = 0;
    std::function<void()> duringPoll;
    MailWatch watch([&] {
      if (++polls == 2 && duringPoll) duringPoll();
      return polls * 10;
    });
    watch.Minimised();
    std::optional<MailWatch::Outcome> nested{MailWatch::Outcome::NewMail};
    duringPoll = [&] { nested = watch.Tick(); };
    QVERIFY(watch.Tick() == MailWatch::Outcome::NewMail);
    QCOMPARE(nested, std::nullopt);
    QCOMPARE(polls, 2);
    // Restored and minimised again while the tick's poll waits: the tick's
    // count becomes the baseline.
    duringPoll = [&] { watch.Minimised(); };
    polls = 1;
    QVERIFY(watch.Tick() == MailWatch::Outcome::NoNewMail);
    QCOMPARE(polls, 2);
    QCOMPARE(watch.LastMailCount(), 20);
  }
};

QTEST_APPLESS_MAIN(MailWatchTest)
#include "mail_watch_test.moc"
