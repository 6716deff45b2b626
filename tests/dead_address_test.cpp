// A poll through a name whose first address is dead: the next address is
// tried beside it, within the greeting's wait. Run by network/dead_route.sh,
// which makes the names and the dead route, and a mailbox for alice on 110.
#include "pop3/mail_count.h"
#include "support/scripted_server.h"
#include "support/test_host.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

class DeadAddressTest : public QObject {
  Q_OBJECT
 private slots:
  void polls_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("fromMs");
    QTest::addColumn<int>("toMs");
    QTest::newRow("dead IPv6, then 127.0.0.1") << "dead-then-v4.test" << 0 << 0 << 2000;
    QTest::newRow("dead IPv6, then a working IPv6") << "dead-then-v6.test" << 0 << 0 << 2000;
    QTest::newRow("only the dead address") << "dead.test" << -1 << 1950 << 2500;
  }

  void polls() {
    QFETCH(QString, server);
    std::unique_ptr<QTcpSocket> socket;
    TestHost host;
    modPOP3::NotNow notNow;
    QElapsedTimer clock;
    clock.start();
    const qint32 count =
        modPOP3::GetMailCount(socket, AccountOf(server, "alice", "secret"), host, notNow);
    const qint64 ms = clock.elapsed();
    qInfo("%s: %lld ms", qPrintable(server), ms);
    QTEST(count, "count");
    QCOMPARE(host.boxes,
             count < 0 ? QStringList{"Error: Connecting to POP3 Server"} : QStringList{});
    QFETCH(int, fromMs);
    QFETCH(int, toMs);
    QVERIFY2(ms >= fromMs && ms < toMs, qPrintable(QString::number(ms)));
  }
};

QTEST_GUILESS_MAIN(DeadAddressTest)
#include "dead_address_test.moc"
