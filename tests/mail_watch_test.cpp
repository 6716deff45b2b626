// The decisions of the watch, poll by poll, without a window.
#include "notifier/mail_watch.h"

#include <QTest>

namespace {

// A mailbox whose next counts the test sets; -1 is a failed poll.
struct Mailbox {
  explicit Mailbox(QList<qint32> next) : counts(std::move(next)) {}
  QList<qint32> counts;
  int polls = 0;
  std::function<void()> duringPoll;
  qint32 Poll() {
    ++polls;
    if (duringPoll) duringPoll();
    return counts.isEmpty() ? -1 : counts.takeFirst();
  }
};

bool Announces(const std::optional<MailWatch::Outcome>& outcome) {
  return outcome == MailWatch::Outcome::NewMail;
}

bool Quiet(const std::optional<MailWatch::Outcome>& outcome) {
  return outcome == MailWatch::Outcome::NoNewMail;
}

}  // namespace

class MailWatchTest : public QObject {
  Q_OBJECT
 private slots:
  void riseAnnouncesEveryTickUntilItFalls();
  void lowerCountIsTakenSilently();
  void failedPollKeepsTheRememberedCount();
  void failedBaselineIsReplacedSilently();
  void newMinimiseTakesNewBaseline();
  void tickDuringPollIsSkipped();
  void minimiseDuringPollLeavesNoBaseline();
};

void MailWatchTest::riseAnnouncesEveryTickUntilItFalls() {
  Mailbox box({3, 5, 5, 4, 3, 3});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  QCOMPARE(watch.LastMailCount(), 3);
  QVERIFY(Announces(watch.Tick()));  // 5
  QVERIFY(Announces(watch.Tick()));  // 5 again: still above 3
  QVERIFY(Announces(watch.Tick()));  // 4
  QCOMPARE(watch.LastMailCount(), 3);
  QVERIFY(Quiet(watch.Tick()));  // 3: no longer above
  QVERIFY(Quiet(watch.Tick()));
  QCOMPARE(box.polls, 6);
}

void MailWatchTest::lowerCountIsTakenSilently() {
  Mailbox box({5, 2, 3});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  QVERIFY(Quiet(watch.Tick()));
  QCOMPARE(watch.LastMailCount(), 2);
  QVERIFY(Announces(watch.Tick()));  // 3 is above the new 2
}

void MailWatchTest::failedPollKeepsTheRememberedCount() {
  Mailbox box({2, -1, 2, 0, 3});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  QVERIFY(Quiet(watch.Tick()));  // failed
  QCOMPARE(watch.LastMailCount(), 2);
  QVERIFY(Quiet(watch.Tick()));  // 2 is no new mail after a failure
  QVERIFY(Quiet(watch.Tick()));  // nor is an empty mailbox
  QVERIFY(Announces(watch.Tick()));
}

void MailWatchTest::failedBaselineIsReplacedSilently() {
  Mailbox box({-1, 0, 0, 1});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  QCOMPARE(watch.LastMailCount(), std::nullopt);
  QVERIFY(Quiet(watch.Tick()));  // the first good count is the baseline
  QCOMPARE(watch.LastMailCount(), 0);
  QVERIFY(Quiet(watch.Tick()));
  QVERIFY(Announces(watch.Tick()));
}

void MailWatchTest::newMinimiseTakesNewBaseline() {
  Mailbox box({1, 4, 4, 4});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  QVERIFY(Announces(watch.Tick()));
  watch.Minimised();  // restored and minimised again: 4 is the new baseline
  QCOMPARE(watch.LastMailCount(), 4);
  QVERIFY(Quiet(watch.Tick()));
}

void MailWatchTest::tickDuringPollIsSkipped() {
  Mailbox box({1, 2});
  MailWatch watch([&] { return box.Poll(); });
  std::optional<MailWatch::Outcome> nested{MailWatch::Outcome::NewMail};
  // A tick that falls due while the poll waits or shows its error box.
  box.duringPoll = [&] { nested = watch.Tick(); };
  watch.Minimised();
  QCOMPARE(nested.has_value(), false);
  QCOMPARE(box.polls, 1);
  QCOMPARE(watch.LastMailCount(), 1);
  box.duringPoll = nullptr;
  QVERIFY(Announces(watch.Tick()));  // the guard is released afterwards
}

void MailWatchTest::minimiseDuringPollLeavesNoBaseline() {
  Mailbox box({7, 8});
  MailWatch watch([&] { return box.Poll(); });
  watch.Minimised();
  // Restored and minimised again while a tick's poll still waits: that
  // minimise cannot poll, and the tick's count becomes the baseline.
  box.duringPoll = [&] { watch.Minimised(); };
  QVERIFY(Quiet(watch.Tick()));
  QCOMPARE(box.polls, 2);
  QCOMPARE(watch.LastMailCount(), 8);
}

QTEST_APPLESS_MAIN(MailWatchTest)
#include "mail_watch_test.moc"
