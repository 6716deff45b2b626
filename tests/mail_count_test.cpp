// The mail count query against scripted servers, sound and hostile: the
// count or the failed stage's message, exactly the bytes a client should
// send (no QUIT after STAT), the socket closed, memory bounded, no spinning;
// and inside TLS, the server's certificate checked.
#include "pop3/mail_count.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <ctime>

using namespace std::chrono_literals;

namespace {

const QString kConnecting = "Error: Connecting to POP3 Server";
const QString kUsername = "Error: Sending Username to POP3 Server";
const QString kPassword = "Error: Sending Password to POP3 Server";
const QString kReading = "Error: Reading amount of mails on POP3 Server";

const QByteArray kAll = "USER u\r\nPASS p\r\nSTAT\r\n";
// A server that lets the user in and holds four messages.
const QList<Reply> kGood{Line("+OK ready\r\n"), Line("+OK\r\n"), Line("+OK Logged in.\r\n"),
                         Line("+OK 4 300\r\n")};

// What goes out before the stage named in the box fails.
QByteArray SentBefore(const QString& message) {
  if (message.startsWith(kConnecting)) return "";
  if (message.startsWith(kUsername)) return "USER u\r\n";
  if (message.startsWith(kPassword)) return "USER u\r\nPASS p\r\n";
  return kAll;
}

Reply Reset() { return {Chunk{0ms, {}, 1, /*reset=*/true}}; }
Reply Flood(const QByteArray& bytes, qint64 times) { return {Chunk{0ms, bytes, times}}; }

// The most memory the process has held so far.
qint64 PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A TLS server's configuration: a certificate of its own for "localhost"
// only, and its key.
QSslConfiguration LocalhostTls(const QTemporaryDir& dir) {
  QProcess openssl;
  openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                            "/CN=localhost", "-addext", "subjectAltName=DNS:localhost", "-keyout",
                            dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
  openssl.waitForFinished();
  QFile key(dir.filePath("key.pem"));
  key.open(QIODevice::ReadOnly);
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setLocalCertificate(QSslCertificate::fromPath(dir.filePath("cert.pem")).value(0));
  tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
  return tls;
}

}  // namespace

class MailCountTest : public QObject {
  Q_OBJECT
 private slots:
  void exchange_data() {
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
    const auto stat = [&](const Reply& reply) { return QList<Reply>{hi, ok, ok, reply}; };

    row("count", kGood, 4, "");
    row("empty user name keeps the blank", kGood, 4, "", "", "p", "USER \r\nPASS p\r\nSTAT\r\n");
    row("8-bit password as UTF-8", kGood, 4, "", "u", "pä", "USER u\r\nPASS p\xc3\xa4\r\nSTAT\r\n");
    row("marker after other text", {Line("hello +OK\r\n"), ok, ok, kGood[3]}, 4, "");

    row("user rejected", {hi, Line("-ERR no\r\n")}, -1, kUsername + "\n-ERR no");
    // The server's own reason is a second line of the box: one line, no
    // control characters, at most 200 characters.
    row("wrong password", {hi, ok, Line("-ERR [AUTH] Authentication failed.\r\n")}, -1,
        kPassword + "\n-ERR [AUTH] Authentication failed.");
    row("long reason",
        {hi, ok, Line("-ERR \x07no\tpop " + QByteArray(300, 'x') + "\r\n-ERR 2\r\n")}, -1,
        kPassword + "\n" + ("-ERR nopop " + QString(300, 'x')).left(200));
    row("STAT -ERR", stat(Line("-ERR no\r\n")), -1, kReading + "\n-ERR no");
    row("CR in user name is never sent", kGood, -1, kUsername, "u\r\nDELE 1", "p", "");
    row("LF in password is never sent", kGood, -1, kPassword, "u", "p\nDELE 1", "USER u\r\n");

    // The greeting wait takes what has come; the rest is what the USER wait
    // finds, and it holds no marker.
    row("greeting and USER reply in one packet", {Line("+OK ready\r\n+OK\r\n")}, -1, kUsername);
    row("accepts, never answers", {}, -1, kConnecting);
    row("exactly 3 bytes", {Line("+OK")}, -1, kConnecting);
    row("STAT 0.6 s late", stat(Line("+OK 2 9\r\n", 600ms)), -1, kReading);
    row("100 MB flood after the greeting", {hi + Flood(QByteArray(1 << 20, 'x'), 100)}, -1,
        kUsername);
    row("endless line of markers",
        stat(Flood(QByteArray(64 * 1024, ' ').replace(0, 3, "+OK"), 400)), -1, kReading);
    row("reset before greeting", {Reset()}, -1, kConnecting);
    row("reset after STAT", stat(Reset()), -1, kReading);
  }

  void exchange() {
    QFETCH(QList<Reply>, replies);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QByteArray, sent);
    ScriptedServer server(replies);
    // A connection left over is closed first, never read as the new one.
    ScriptedServer stale({Line("+OK stale\r\n")});
    QSslSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, stale.port());
    QVERIFY(socket.waitForConnected(1000));
    TestHost host;
    // The box stays open a while, as until its user comes back; the server
    // may go on sending meanwhile, and the connection must stay until then.
    QAbstractSocket::SocketState whileBoxOpen = QAbstractSocket::UnconnectedState;
    host.whileBoxIsOpen = [&] {
      whileBoxOpen = socket.state();
      QTest::qWait(200);
    };
    const qint64 before = PeakResidentKiB();

    const qint32 count =
        modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port()), user, password), host);

    QTEST(count, "result");
    QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    const qint64 grown = PeakResidentKiB() - before;
    QVERIFY2(grown < 20 * 1024, qPrintable(QString("grew by %1 KiB").arg(grown)));
    // Nothing follows the last command once the client has gone.
    QTRY_VERIFY(server.clientGone() || sent.isEmpty());
    QTest::qWait(50);
    QCOMPARE(server.received(), sent);
    QVERIFY(stale.received().isEmpty());
    // A server that answered -ERR stays connected: so does the client, until
    // the box has been dismissed.
    if (message.contains("\n-ERR")) QCOMPARE(whileBoxOpen, QAbstractSocket::ConnectedState);
  }

  void slowServerWaitedForAsleep() {
    // Each reply within its wait: 2 s for the others, 0.5 s for STAT's.
    const Reply late = Line("+OK\r\n", 1500ms);
    ScriptedServer server({late, late, late, Line("+OK 7 9\r\n", 250ms)});
    QSslSocket socket;
    TestHost host;
    const std::clock_t cpuBefore = std::clock();
    QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(OnLoopback(server.port())), host), 7);
    const double cpu = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    QVERIFY2(cpu < 0.1, qPrintable(QString("the poll cost %1 s of CPU time").arg(cpu)));
  }

  void tls_data() {
    QTest::addColumn<QString>("name");  // the server field's host
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QString>("message");  // empty: the count

    QTest::newRow("trusted") << "localhost" << true << "";
    QTest::newRow("untrusted") << "localhost" << false
                               << kConnecting + "\nThe server's certificate is not trusted.";
    QTest::newRow("another host's certificate")
        << "127.0.0.1" << true << kConnecting + "\nThe server's certificate names another host.";
  }

  void tls() {
    QFETCH(QString, name);
    QFETCH(bool, trusted);
    QFETCH(QString, message);
    ScriptedServer server(kGood, tls_);
    QSslSocket socket;
    if (trusted) {
      QSslConfiguration config = socket.sslConfiguration();
      config.addCaCertificate(tls_.localCertificate());
      socket.setSslConfiguration(config);
    }
    TestHost host;
    const QString field = QString("pop3s://%1:%2").arg(name).arg(server.port());
    QCOMPARE(modPOP3::GetMailCount(socket, AccountOf(field), host), message.isEmpty() ? 4 : -1);
    QCOMPARE(host.boxes, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(server.received(), message.isEmpty() ? kAll : QByteArray());
  }

 private:
  QTemporaryDir certificateDir_;
  const QSslConfiguration tls_ = LocalhostTls(certificateDir_);
};

QTEST_GUILESS_MAIN(MailCountTest)
#include "mail_count_test.moc"
