// The one-copy guard where a copy ends, a peer stays silent or gave up, or
// no lock can be made.
#include "host/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <memory>

using Outcome = host::SingleInstance::Outcome;
using Request = host::SingleInstance::Request;

class SingleInstanceTest : public QObject {
  Q_OBJECT
  QTemporaryDir runtime_;  // 0700, the user's
  QString settings_ = runtime_.filePath(QStringLiteral("config.ini"));

  // A later start, in a thread of its own: the running copy's is blocked
  // or busy meanwhile.
  std::unique_ptr<QThread> LaterStart(Outcome& outcome) {
    std::unique_ptr<QThread> thread(QThread::create(
        [this, &outcome] { outcome = host::SingleInstance(settings_).Start(Request::Show); }));
    thread->start();
    return thread;
  }

 private slots:
  void initTestCase() { qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit()); }

  void startDuringTheEndRuns() {
    host::SingleInstance first(settings_);
    QCOMPARE(first.Start(Request::Quiet), Outcome::Run);
    Outcome outcome{};
    const auto later = LaterStart(outcome);
    // Its request waits unread while this copy begins to end.
    QThread::msleep(400);
    first.StopListening();
    QVERIFY(later->wait(5000));
    QCOMPARE(outcome, Outcome::Run);
  }

  void stalePeersAreDropped() {
    host::SingleInstance first(settings_);
    QCOMPARE(first.Start(Request::Quiet), Outcome::Run);
    int requests = 0;
    first.OnRequest(*this, [&requests](Request) { ++requests; });
    const QStringList sockets =
        QDir(runtime_.path()).entryList({QStringLiteral("tallowin-*")}, QDir::System);
    QCOMPARE(sockets.size(), 1);
    // A start that asked and gave up waiting, as while this copy was
    // stopped: its request is not carried out later.
    QLocalSocket gaveUp;
    gaveUp.connectToServer(runtime_.filePath(sockets.first()));
    QVERIFY(gaveUp.waitForConnected(1000));
    gaveUp.putChar(static_cast<char>(Request::Show));
    QVERIFY(gaveUp.waitForBytesWritten(1000));
    gaveUp.disconnectFromServer();
    QLocalSocket silent;
    silent.connectToServer(runtime_.filePath(sockets.first()));
    QVERIFY(silent.waitForConnected(1000));
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QLocalSocket::UnconnectedState,
                              3 * host::SingleInstance::kAnswerMs);
    QCOMPARE(requests, 0);
    // And a start still hands over.
    Outcome outcome{};
    const auto later = LaterStart(outcome);
    QTRY_VERIFY_WITH_TIMEOUT(later->isFinished(), 5000);
    QCOMPARE(outcome, Outcome::HandedOver);
    QCOMPARE(requests, 1);
  }

  void runsWhereNoLockCanBeMade() {
    // No descriptor left: the lock file cannot be made, as in a full folder.
    host::SingleInstance only(settings_);
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit none = limit;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &none) == 0);
    const Outcome outcome = only.Start(Request::Show);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    QCOMPARE(outcome, Outcome::Run);
  }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
