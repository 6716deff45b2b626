// The decisions of the watch, poll by poll, without a window.
#include "notifier/mail_watch.h"

#include <QRegularExpression>
#include <QTest>

class MailWatchTest : public QObject {
  Q_OBJECT
 private slots:
  void decides_data() {
    // Events: a minimise ("m"), a tick ("t"), a restore ("r"), the network
    // lost ("off") or back ("on"), each with the count its poll gives
    // ("x": the poll failed; none: it polls nothing); "p" is a poll the
    // watch makes on its own once the one under way has ended. A tick names
    // its outcome: "+" new mail, "." none, "-" nothing to show. "(t)",
    // "(m)" or "(rm)" after a count: those events come while that poll
    // still waits for the server or shows its error box.
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
    // A baseline is taken by the first poll to start after its minimise.
    QTest::newRow("a tick while a poll waits") << "m1 t3(t)+ t1." << 1;
    QTest::newRow("a minimise while a tick's poll waits: the next poll is the baseline")
        << "m1 t3(m)- p5 t5. t6+" << 5;
    QTest::newRow("a minimise while a tick's poll fails: the next poll is the baseline")
        << "m1 tx(m)- p2 t2. t3+" << 2;
    QTest::newRow("another account typed while a tick's poll waits: its count is the baseline")
        << "m3 t3(rm)- p10 t10. t11+" << 10;
    QTest::newRow("a tick while the minimise's poll waits") << "m1(t) t3+" << 1;
    QTest::newRow("a minimise while the minimise's own poll waits: the next is the baseline")
        << "m1(m) p2 t3+" << 2;
    // No poll is tried while there is no network at all.
    QTest::newRow("minimised offline: the network's return takes the baseline")
        << "off m t- t- on3 t4+ t3." << 3;
    QTest::newRow("a suspend: the count from before stays") << "m3 off t- t- on t5+" << 3;
    QTest::newRow("restored offline: the network's return polls nothing")
        << "off m r on m2 t2." << 2;
  }

  void decides() {
    QFETCH(QString, events);
    static const QRegularExpression event(R"(^(m|t|p|r|on|off)(x|\d*)(?:\((\w+)\))?([-+.]?)$)");
    QList<qint32> counts;
    QStringList during;  // for each poll, what comes while it waits
    for (const QString& text : events.split(' ')) {
      const auto parts = event.match(text);
      QVERIFY2(parts.hasMatch(), qPrintable(text));
      if (parts.captured(2).isEmpty()) continue;
      counts << (parts.captured(2) == "x" ? -1 : parts.captured(2).toInt());
      during << parts.captured(3);
    }
    qsizetype polls = 0;
    bool tickPolledMeanwhile = false;
    MailWatch watch([&] {
      const qsizetype poll = polls++;
      for (const QChar meanwhile : during.value(poll)) {
        if (meanwhile == 't') tickPolledMeanwhile |= watch.Tick().has_value();
        if (meanwhile == 'r') watch.Restored();
        if (meanwhile == 'm') watch.Minimised();
      }
      return counts.value(poll, -1);
    });
    for (const QString& text : events.split(' ')) {
      const auto parts = event.match(text);
      const QString kind = parts.captured(1);
      if (kind == "m") watch.Minimised();
      if (kind == "r") watch.Restored();
      if (kind == "on" || kind == "off") watch.NetworkChanged(kind == "on");
      if (kind != "t") continue;
      const auto outcome = watch.Tick();
      const QString shown = !outcome ? "-" : *outcome == MailWatch::Outcome::NewMail ? "+" : ".";
      QVERIFY2(shown == parts.captured(4), qPrintable(text + " showed " + shown));
    }
    QVERIFY(!tickPolledMeanwhile);
    QCOMPARE(polls, counts.size());  // none that no event asked for
    QTEST(watch.LastMailCount().value_or(-1), "last");
  }
};

QTEST_APPLESS_MAIN(MailWatchTest)
#include "mail_watch_test.moc"
