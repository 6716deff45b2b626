// The mail count query against servers that misbehave: each must end in the
// right stage's message or the right count, with the socket closed and the
// memory bounded, and never in a crash or a hang.
#include "pop3/mail_count.h"
#include "support/dovecot.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

Reply OneBytePerPacket(const QByteArray& bytes) {
  Reply reply;
  for (char c : bytes) reply << Chunk{30ms, QByteArray(1, c)};
  return reply;
}

Reply Closed() { return {Chunk{0ms, {}, /*closeAfter=*/true}}; }

Reply Reset() {
  Chunk chunk;
  chunk.reset = true;
  return {chunk};
}

Reply Flood(const QByteArray& bytes, qint64 times) {
  Chunk chunk{0ms, bytes};
  chunk.repeat = times;
  return {chunk};
}

// The most memory the process has held since ResetPeak().
qint64 PeakResidentBytes() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
  return 0;
}

void ResetPeak() {
  QFile clear("/proc/self/clear_refs");
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

}  // namespace

class HostileServerTest : public QObject {
  Q_OBJECT
 private slots:
  void survives_data();
  void survives();
  void randomStreamsSplitAnywhere();
};

void HostileServerTest::survives_data() {
  QTest::addColumn<QList<Reply>>("replies");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("message");  // "" for none, "*" for any stage's

  const Reply hi = Line("+OK ready\r\n");
  const Reply ok = Line("+OK\r\n");
  const auto stat = [&](const QByteArray& reply) { return QList<Reply>{hi, ok, ok, Line(reply)}; };
  const QByteArray mb(1024 * 1024, 'x');

  QTest::newRow("accepts, never answers") << QList<Reply>{} << -1 << kConnecting;
  QTest::newRow("greeting -ERR") << QList<Reply>{Line("-ERR busy\r\n")} << -1 << kConnecting;
  QTest::newRow("exactly 3 bytes") << QList<Reply>{Line("+OK")} << -1 << kConnecting;
  QTest::newRow("+ok in lower case") << QList<Reply>{Line("+ok ready\r\n")} << -1 << kConnecting;
  QTest::newRow("one byte per packet")
      << QList<Reply>{OneBytePerPacket("+OK ready\r\n"), OneBytePerPacket("+OK\r\n"),
                      OneBytePerPacket("+OK\r\n"), OneBytePerPacket("+OK 2 9\r\n")}
      << -1 << "*";
  QTest::newRow("greeting and USER reply in one packet")
      << QList<Reply>{Line("+OK ready\r\n+OK\r\n")} << -1 << kUsername;
  QTest::newRow("NUL bytes") << QList<Reply>{Line(QByteArray("+OK\0\0\r\n", 7)), ok, ok,
                                             Line(QByteArray("+OK 2\0 9\r\n", 10))}
                             << -1 << kReading;
  QTest::newRow("8-bit bytes") << QList<Reply>{Line("+OK \xff\xfe\x80\r\n"), ok, ok,
                                               Line("+OK 2 9\r\n")}
                               << 2 << "";
  QTest::newRow("100 MB flood after the greeting")
      << QList<Reply>{hi + Flood(mb, 100)} << -1 << kUsername;
  QTest::newRow("endless line of markers")
      << QList<Reply>{hi, ok, ok, Flood(QByteArray(64 * 1024, ' ').replace(0, 3, "+OK"), 400)} << -1
      << kReading;
  QTest::newRow("reset before greeting") << QList<Reply>{Reset()} << -1 << kConnecting;
  QTest::newRow("reset after USER") << QList<Reply>{hi, Reset()} << -1 << kUsername;
  QTest::newRow("reset after PASS") << QList<Reply>{hi, ok, Reset()} << -1 << kPassword;
  QTest::newRow("reset after STAT") << QList<Reply>{hi, ok, ok, Reset()} << -1 << kReading;
  QTest::newRow("close after USER") << QList<Reply>{hi, Closed()} << -1 << kUsername;
  QTest::newRow("close after PASS") << QList<Reply>{hi, ok, Closed()} << -1 << kPassword;
  QTest::newRow("close after STAT") << QList<Reply>{hi, ok, ok, Closed()} << -1 << kReading;
  QTest::newRow("STAT -ERR") << stat("-ERR no\r\n") << -1 << kReading + "\n-ERR no";
  QTest::newRow("STAT 0.6 s late")
      << QList<Reply>{hi, ok, ok, Line("+OK 2 9\r\n", 600ms)} << -1 << kReading;
  QTest::newRow("slow, but within every wait")
      << QList<Reply>{Line("+OK\r\n", 1500ms), Line("+OK\r\n", 1500ms), Line("+OK\r\n", 1500ms),
                      Line("+OK 7 9\r\n", 250ms)}
      << 7 << "";
}

void HostileServerTest::survives() {
  QFETCH(QList<Reply>, replies);
  QFETCH(QString, message);
  ScriptedServer server(replies);
  QSslSocket socket;
  TestHost host;
  // The box stays open a while, as it does until its user comes back: the
  // server may go on sending meanwhile.
  host.whileBoxIsOpen = [] { QTest::qWait(500); };
  ResetPeak();
  const qint64 before = PeakResidentBytes();

  const qint32 count = modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port())), host);

  QTEST(count, "result");
  if (message == "*") {
    QCOMPARE(host.boxes.size(), 1);
    QVERIFY(host.boxes[0].startsWith("Error: "));
  } else {
    QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
  }
  QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
  const qint64 grown = PeakResidentBytes() - before;
  QVERIFY2(grown < 20 * 1024 * 1024, qPrintable(QString("grew by %1 bytes").arg(grown)));
}

namespace {

// A reply of random bytes, often holding the marker, blanks and digits.
QByteArray RandomReply(QRandomGenerator& random) {
  static const QList<QByteArray> pieces{
      "+OK", " ", "\r\n", "-ERR", "7", "42", "\t", QByteArray(1, '\0'), "\xff", "+ok", "x"};
  QByteArray reply;
  const int length = random.bounded(1, 8);
  for (int i = 0; i < length; ++i) reply += pieces[random.bounded(pieces.size())];
  return reply;
}

// The reply cut at random points into chunks of at least 4 bytes, a few
// milliseconds apart, so that no wait has to run to its deadline.
Reply SplitAnywhere(const QByteArray& bytes, QRandomGenerator& random) {
  Reply reply;
  qsizetype at = 0;
  while (at < bytes.size()) {
    const qsizetype left = bytes.size() - at;
    const qsizetype size = left < 8 ? left : random.bounded(4, static_cast<int>(left) + 1);
    reply << Chunk{std::chrono::milliseconds(random.bounded(1, 10)), bytes.mid(at, size)};
    at += size;
  }
  return reply;
}

}  // namespace

void HostileServerTest::randomStreamsSplitAnywhere() {
  // Seeded, so a failure can be played again.
  for (quint32 seed = 1; seed <= 150; ++seed) {
    QRandomGenerator random(seed);
    QList<Reply> replies;
    qint32 statCount = -1;
    for (int stage = 0; stage < 4; ++stage) {
      QByteArray bytes = RandomReply(random);
      if (random.bounded(3) > 0) bytes = stage < 3 ? "+OK\r\n" : "+OK 42 7\r\n";
      if (stage == 3 && bytes == "+OK 42 7\r\n") statCount = 42;
      // Fewer than 4 bytes end no wait: pad, so the stage ends at once.
      while (bytes.size() < 4) bytes += ' ';
      replies << SplitAnywhere(bytes, random);
    }
    ScriptedServer server(replies);
    QSslSocket socket;
    TestHost host;
    const qint32 count = modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port())), host);
    // A count only when the server really sent one; otherwise one box.
    QVERIFY2(count == -1 || count == statCount, qPrintable(QString("seed %1").arg(seed)));
    QCOMPARE(host.boxes.size(), count == -1 ? 1 : 0);
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
  }
}

QTEST_GUILESS_MAIN(HostileServerTest)
#include "hostile_server_test.moc"
