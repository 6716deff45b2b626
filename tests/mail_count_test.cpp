// The mail count query against scripted servers, sound and hostile: the
// count or the failed stage's message, exactly the bytes a client should
// send (no QUIT after STAT), the socket closed, memory bounded, no spinning.
// Then against a real server, inside TLS.
#include "pop3/mail_count.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace std::chrono_literals;

namespace {

const QString kConnecting = "Error: Connecting to POP3 Server";
const QString kUsername = "Error: Sending Username to POP3 Server";
const QString kPassword = "Error: Sending Password to POP3 Server";
const QString kReading = "Error: Reading amount of mails on POP3 Server";

// A loopback port that nothing listens on at the moment.
quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost);
  return probe.serverPort();
}

const QByteArray kAll = "USER u\r\nPASS p\r\nSTAT\r\n";

// What goes out before the stage named in the box fails.
QByteArray SentBefore(const QString& message) {
  if (message.startsWith(kConnecting)) return "";
  if (message.startsWith(kUsername)) return "USER u\r\n";
  if (message.startsWith(kPassword)) return "USER u\r\nPASS p\r\n";
  return kAll;
}

Reply Reset() { return {Chunk{0ms, {}, 1, /*reset=*/true}}; }
Reply Flood(const QByteArray& bytes, qint64 times) { return {Chunk{0ms, bytes, times}}; }

// The most memory the process has held since the peak was last reset.
qint64 PeakResidentKiB(bool reset) {
  QFile file(reset ? "/proc/self/clear_refs" : "/proc/self/status");
  if (reset) return file.open(QIODevice::WriteOnly) ? file.write("5") : 0;
  if (!file.open(QIODevice::ReadOnly)) return 0;
  const QByteArray status = file.readAll();
  return status.mid(status.indexOf("VmHWM:") + 6).trimmed().split(' ').value(0).toLongLong();
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The throwaway mailbox of scripts/mailbox.sh: a private dovecot on two
// loopback ports, plain and inside TLS with a certificate of its own for
// "localhost" only. Needs root, as dovecot does.
class Dovecot {
 public:
  Dovecot(const QString& user, const QString& password) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("bash", {TALLOWIN_SCRIPTS_DIR "/mailbox.sh", "serve", dir_.path(),
                            QString::number(port), user, password, QString::number(tlsPort)});
    QByteArray said;
    while (!said.contains("ready\n") && process_.waitForReadyRead(30000))
      said += process_.readAll();
    if (!said.contains("ready\n"))
      error = "dovecot did not start (dovecot-pop3d, and root): " + said;
  }
  ~Dovecot() {
    process_.terminate();
    process_.waitForFinished(10000);
  }
  QString certificate() const { return dir_.path() + "/cert.pem"; }

  const quint16 port = FreePort(), tlsPort = FreePort();
  QString error;

 private:
  QTemporaryDir dir_;
  QProcess process_;
};

}  // namespace

class MailCountTest : public QObject {
  Q_OBJECT
 private slots:
  void exchange_data();
  void exchange();
  void staleConnectionClosedFirst();
  void slowServerWaitedForAsleep();
  void dovecot_data();
  void dovecot();

 private:
  static inline const QString kSecret = "s3cret = with blanks";
  Dovecot dovecot_{"alice", kSecret};
};

void MailCountTest::exchange_data() {
  QTest::addColumn<QList<Reply>>("replies");
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("password");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QByteArray>("sent");
  const auto row = [](const char* name, const QList<Reply>& replies, int result,
                      const QString& message, const QString& user = "u",
                      const QString& password = "p",
                      const std::optional<QByteArray>& sent = std::nullopt) {
    QTest::newRow(name) << replies << user << password << result << message
                        << sent.value_or(SentBefore(message));
  };
  const Reply hi = Line("+OK ready\r\n"), ok = Line("+OK\r\n");
  const QList<Reply> good{hi, ok, Line("+OK Logged in.\r\n"), Line("+OK 4 300\r\n")};
  const auto stat = [&](const Reply& reply) { return QList<Reply>{hi, ok, ok, reply}; };

  row("count", good, 4, "");
  row("empty user name keeps the blank", good, 4, "", "", "p", "USER \r\nPASS p\r\nSTAT\r\n");
  row("8-bit password as UTF-8", good, 4, "", "u", "pä", "USER u\r\nPASS p\xc3\xa4\r\nSTAT\r\n");
  row("marker after other text", {Line("hello +OK\r\n"), ok, ok, good[3]}, 4, "");

  row("user rejected", {hi, Line("-ERR no\r\n")}, -1, kUsername + "\n-ERR no");
  // The server's own reason is a second line of the box: one line, no
  // control characters, at most 200 characters.
  row("wrong password", {hi, ok, Line("-ERR [AUTH] Authentication failed.\r\n")}, -1,
      kPassword + "\n-ERR [AUTH] Authentication failed.");
  row("long reason", {hi, ok, Line("-ERR \x07no\tpop " + QByteArray(300, 'x') + "\r\n-ERR 2\r\n")},
      -1, kPassword + "\n" + ("-ERR nopop " + QString(300, 'x')).left(200));
  row("STAT -ERR", stat(Line("-ERR no\r\n")), -1, kReading + "\n-ERR no");
  row("CR in user name is never sent", good, -1, kUsername, "u\r\nDELE 1", "p", "");
  row("LF in password is never sent", good, -1, kPassword, "u", "p\nDELE 1", "USER u\r\n");

  // The greeting wait takes what has come; the rest is what the USER wait
  // finds, and it holds no marker.
  row("greeting and USER reply in one packet", {Line("+OK ready\r\n+OK\r\n")}, -1, kUsername);
  row("accepts, never answers", {}, -1, kConnecting);
  row("exactly 3 bytes", {Line("+OK")}, -1, kConnecting);
  row("STAT 0.6 s late", stat(Line("+OK 2 9\r\n", 600ms)), -1, kReading);
  row("100 MB flood after the greeting", {hi + Flood(QByteArray(1 << 20, 'x'), 100)}, -1,
      kUsername);
  row("endless line of markers", stat(Flood(QByteArray(64 * 1024, ' ').replace(0, 3, "+OK"), 400)),
      -1, kReading);
  row("reset before greeting", {Reset()}, -1, kConnecting);
  row("reset after STAT", stat(Reset()), -1, kReading);
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
  // The box stays open a while, as until its user comes back; the server
  // may go on sending meanwhile, and the connection must stay until then.
  QAbstractSocket::SocketState whileBoxOpen = QAbstractSocket::UnconnectedState;
  host.whileBoxIsOpen = [&] {
    whileBoxOpen = socket.state();
    QTest::qWait(200);
  };
  PeakResidentKiB(/*reset=*/true);
  const qint64 before = PeakResidentKiB(false);

  const qint32 count =
      modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port()), user, password), host);

  QTEST(count, "result");
  QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
  QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
  const qint64 grown = PeakResidentKiB(false) - before;
  QVERIFY2(grown < 20 * 1024, qPrintable(QString("grew by %1 KiB").arg(grown)));
  // Nothing follows the last command once the client has gone.
  QTRY_VERIFY(server.clientGone() || sent.isEmpty());
  QTest::qWait(50);
  QCOMPARE(server.received(), sent);
  // A server that answered -ERR stays connected: so does the client, until
  // the box has been dismissed.
  if (message.contains("\n-ERR")) QCOMPARE(whileBoxOpen, QAbstractSocket::ConnectedState);
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

void MailCountTest::slowServerWaitedForAsleep() {
  // Each reply within its wait: 2 s for the others, 0.5 s for STAT's.
  const Reply late = Line("+OK\r\n", 1500ms);
  ScriptedServer server({late, late, late, Line("+OK 7 9\r\n", 250ms)});
  QSslSocket socket;
  TestHost host;
  const double cpuBefore = CpuSeconds();
  QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port())), host), 7);
  const double cpu = CpuSeconds() - cpuBefore;
  QVERIFY2(cpu < 0.1, qPrintable(QString("the poll cost %1 s of CPU time").arg(cpu)));
}

void MailCountTest::dovecot_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("trustTestCa");
  QTest::addColumn<QString>("message");  // empty: the count, 0

  const QString connecting = kConnecting + "\n";
  QTest::newRow("TLS, trusted") << "pop3s://localhost:{tls}" << true << "";
  QTest::newRow("TLS, untrusted") << "pop3s://localhost:{tls}" << false
                                  << connecting + "The server's certificate is not trusted.";
  QTest::newRow("TLS, another host's certificate")
      << "pop3s://127.0.0.1:{tls}" << true
      << connecting + "The server's certificate names another host.";
}

void MailCountTest::dovecot() {
  QFETCH(QString, field);
  QFETCH(bool, trustTestCa);
  QFETCH(QString, message);
  QSslSocket socket;
  if (trustTestCa) {
    QSslConfiguration config = socket.sslConfiguration();
    config.addCaCertificates(dovecot_.certificate());
    socket.setSslConfiguration(config);
  }
  QVERIFY2(dovecot_.error.isEmpty(), qPrintable(dovecot_.error));
  field.replace("{tls}", QString::number(dovecot_.tlsPort));
  TestHost host;
  const qint32 count = modPOP3::GetMailCount(socket, AccountOf(field, "alice", kSecret), host);
  QCOMPARE(count, message.isEmpty() ? 0 : -1);
  QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
}

QTEST_GUILESS_MAIN(MailCountTest)
#include "mail_count_test.moc"
