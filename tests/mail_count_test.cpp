#include "pop3/mail_count.h"
#include "support/dovecot.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

#include <ctime>

using namespace std::chrono_literals;

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

class MailCountTest : public QObject {
  Q_OBJECT
 private slots:
  void exchange_data();
  void exchange();
  void refusedConnection();
  void staleConnectionClosedFirst();
  void fieldsReadWhenNeeded();
  void waitsSleepInsteadOfSpinning();
};

void MailCountTest::exchange_data() {
  QTest::addColumn<QList<Reply>>("replies");
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("password");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QByteArray>("sent");

  const QList<Reply> good{Line("+OK ready\r\n"), Line("+OK\r\n"), Line("+OK Logged in.\r\n"),
                          Line("+OK 4 300\r\n")};
  const QByteArray all = "USER u\r\nPASS p\r\nSTAT\r\n";

  // No QUIT follows STAT: the bytes sent are exactly these.
  QTest::newRow("count") << good << "u"
                         << "p" << 4 << "" << all;
  QTest::newRow("empty mailbox") << QList<Reply>{good[0], good[1], good[2], Line("+OK 0 0\r\n")}
                                 << "u"
                                 << "p" << 0 << "" << all;
  QTest::newRow("empty user name keeps the blank")
      << good << ""
      << "p" << 4 << "" << QByteArray("USER \r\nPASS p\r\nSTAT\r\n");
  QTest::newRow("8-bit password as UTF-8") << good << "u" << QString::fromUtf8("pä") << 4 << ""
                                           << QByteArray("USER u\r\nPASS p\xc3\xa4\r\nSTAT\r\n");
  QTest::newRow("marker after other text")
      << QList<Reply>{Line("hello +OK\r\n"), good[1], good[2], good[3]} << "u"
      << "p" << 4 << "" << all;

  QTest::newRow("user rejected") << QList<Reply>{good[0], Line("-ERR no\r\n")} << "u"
                                 << "p" << -1 << kUsername + "\n-ERR no"
                                 << QByteArray("USER u\r\n");
  // The server's own reason is a second line of the box.
  QTest::newRow("wrong password, no STAT")
      << QList<Reply>{good[0], good[1], Line("-ERR [AUTH] Authentication failed.\r\n")} << "u"
      << "p" << -1 << kPassword + "\n-ERR [AUTH] Authentication failed."
      << QByteArray("USER u\r\nPASS p\r\n");
  QTest::newRow("reason: one line, no control characters, cut")
      << QList<Reply>{good[0], good[1],
                      Line("-ERR \x07no\tpop " + QByteArray(300, 'x') + "\r\n-ERR again\r\n")}
      << "u"
      << "p" << -1 << kPassword + "\n" + ("-ERR nopop " + QString(300, 'x')).left(200)
      << QByteArray("USER u\r\nPASS p\r\n");
  // The greeting wait takes the first 4 bytes; the rest is what the USER
  // wait finds, and it holds no marker.
  QTest::newRow("split greeting") << QList<Reply>{{Chunk{0ms, "+OK "}, Chunk{100ms, "ready\r\n"}},
                                                  Line("+OK\r\n", 300ms)}
                                  << "u"
                                  << "p" << -1 << kUsername << QByteArray("USER u\r\n");
  QTest::newRow("CR in user name is never sent") << good << "u\r\nDELE 1"
                                                 << "p" << -1 << kUsername << QByteArray();
  QTest::newRow("LF in password is never sent")
      << good << "u"
      << "p\nDELE 1" << -1 << kPassword << QByteArray("USER u\r\n");
}

void MailCountTest::exchange() {
  QFETCH(QList<Reply>, replies);
  QFETCH(QString, user);
  QFETCH(QString, password);
  QFETCH(QString, message);
  QFETCH(QByteArray, sent);

  ScriptedServer server(replies);
  QSslSocket socket;
  TestHost host;
  QAbstractSocket::SocketState stateWhileBoxOpen = QAbstractSocket::UnconnectedState;
  host.whileBoxIsOpen = [&] { stateWhileBoxOpen = socket.state(); };

  const qint32 count =
      modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port()), user, password), host);

  QTEST(count, "result");
  QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
  QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
  // The client closes, and nothing follows the last command: no QUIT, which
  // would let a server delete messages it was told were read.
  QTRY_VERIFY(server.clientGone());
  QTest::qWait(50);
  QCOMPARE(server.received(), sent);
  // The connection is dropped only once the box has been dismissed.
  if (!message.isEmpty() && !server.received().isEmpty())
    QCOMPARE(stateWhileBoxOpen, QAbstractSocket::ConnectedState);
}

void MailCountTest::refusedConnection() {
  QSslSocket socket;
  TestHost host;
  QElapsedTimer timer;
  timer.start();
  QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(OnLoopback(FreePort())), host), -1);
  QCOMPARE(host.boxes, QStringList{kConnecting});
  QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 3000, "waits out the greeting's 2 s");
}

void MailCountTest::staleConnectionClosedFirst() {
  ScriptedServer stale({Line("+OK old\r\n")});
  ScriptedServer fresh({Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK 9 9\r\n")});
  QSslSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, stale.port());
  QVERIFY(socket.waitForConnected(1000));
  QTRY_COMPARE(stale.connections(), 1);

  TestHost host;
  QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(OnLoopback(fresh.port())), host), 9);
  QTRY_VERIFY(stale.clientGone());
  QVERIFY(stale.received().isEmpty());
}

void MailCountTest::fieldsReadWhenNeeded() {
  // The password is read after the user name was accepted: an edit made
  // while the poll waits is what goes out.
  QString password = "before";
  ScriptedServer server(
      {Line("+OK\r\n"), Line("+OK\r\n", 200ms), Line("+OK\r\n"), Line("+OK 1 1\r\n")});
  QTimer::singleShot(100ms, [&] { password = "after"; });
  modPOP3::Account account{[&] { return OnLoopback(server.port()); }, [] { return QString("u"); },
                           [&] { return password; }};
  QSslSocket socket;
  TestHost host;
  QCOMPARE(modPOP3::GetMailCount(socket, account, host), 1);
  QCOMPARE(server.received(), QByteArray("USER u\r\nPASS after\r\nSTAT\r\n"));
}

void MailCountTest::waitsSleepInsteadOfSpinning() {
  // Every reply comes 1.5 s late: within the 2 s waits, past the STAT wait.
  ScriptedServer server({Line("+OK\r\n", 1500ms), Line("+OK\r\n", 1500ms), Line("+OK\r\n", 1500ms),
                         Line("+OK 1 1\r\n", 1500ms)});
  QSslSocket socket;
  TestHost host;
  const double cpuBefore = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port())), host), -1);
  const double cpu = CpuSeconds() - cpuBefore;
  QCOMPARE(host.boxes, QStringList{kReading});
  QVERIFY(wall.elapsed() >= 4900);
  QVERIFY2(cpu < 0.1, qPrintable(QString("the poll cost %1 s of CPU time").arg(cpu)));
}

QTEST_GUILESS_MAIN(MailCountTest)
#include "mail_count_test.moc"
