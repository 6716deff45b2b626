// The mail count query against scripted servers, sound and hostile: the
// count or the failed stage's message, exactly the bytes a client should
// send (no QUIT after STAT), the socket closed, memory bounded, no spinning;
// and inside TLS, the server's certificate checked. And what the query
// reads from others alone: the server field as the user typed it, and the
// server's reply to STAT. Run by network/dead_route.sh, deadAddress polls
// names whose first address is dead.
#include "pop3/mail_count.h"
#include "pop3/server_address.h"
#include "pop3/stat_reply.h"
#include "support/scripted_server.h"
#include "support/test_host.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QSslKey>
#include <QSslSocket>
#include <QTest>

#include <sys/resource.h>
#include <ctime>
#include <optional>

using namespace std::chrono_literals;

namespace {

const QString kConnecting = "Error: Connecting to POP3 Server";
const QString kUsername = "Error: Sending Username to POP3 Server";
const QString kPassword = "Error: Sending Password to POP3 Server";
const QString kReading = "Error: Reading amount of mails on POP3 Server";

// A server that lets the user in and holds four messages.
const QList<Reply> kGood{Line("+OK ready\r\n"), Line("+OK\r\n"), Line("+OK Logged in.\r\n"),
                         Line("+OK 4 300\r\n")};

// What goes out before the stage named in the box fails.
QByteArray SentBefore(const QString& message) {
  if (message.startsWith(kConnecting)) return "";
  if (message.startsWith(kUsername)) return "USER u\r\n";
  if (message.startsWith(kPassword)) return "USER u\r\nPASS p\r\n";
  return "USER u\r\nPASS p\r\nSTAT\r\n";
}

// Rows name only what differs from the defaults below, which GCC 12 warns of
// even where the members left out have initialisers.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// One poll: the server's script, the account, and what must come of it.
struct Case {
  QString message;  // the box; none when empty, and then the count is taken
  QList<Reply> replies = kGood;
  int count = 4;
  QString user = "u";
  QString password = "p";
  std::optional<QByteArray> sent;  // what the server receives; by default SentBefore
  QString field = kOnLoopback;     // %1: the server's port; pop3s plays inside TLS
  bool trusted = true;             // whether the client trusts the server's certificate
};

// The most memory the process has held so far.
qint64 PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A TLS server's configuration: the test's certificate for "localhost"
// only, and its key.
QSslConfiguration LocalhostTls() {
  const auto read = [](const QString& name) { return host::ReadFile(QFINDTESTDATA(name)); };
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setLocalCertificate(QSslCertificate(read("support/localhost.crt")));
  tls.setPrivateKey(QSslKey(read("support/localhost.key"), QSsl::Rsa));
  return tls;
}

}  // namespace

Q_DECLARE_METATYPE(Case)

class MailCountTest : public QObject {
  Q_OBJECT
 private slots:
  void exchange_data() {
    QTest::addColumn<Case>("poll");
    const auto row = [](const char* name, const Case& poll) { QTest::newRow(name) << poll; };
    const Reply hi = Line("+OK ready\r\n"), ok = Line("+OK\r\n");
    const auto stat = [&](const Reply& reply) { return QList<Reply>{hi, ok, ok, reply}; };

    row("count", {});
    row("8-bit password as UTF-8",
        {.password = "pä", .sent = "USER u\r\nPASS p\xc3\xa4\r\nSTAT\r\n"});
    row("marker after other text", {"", {Line("hello +OK\r\n"), ok, ok, kGood[3]}});
    // Each reply within its wait: 2 s for the others, 0.5 s for STAT's.
    const Reply late = Line("+OK\r\n", 1500ms);
    row("late, but within every wait", {"", {late, late, late, Line("+OK 7 9\r\n", 250ms)}, 7});

    row("user rejected", {kUsername + "\n-ERR no", {hi, Line("-ERR no\r\n")}});
    // The server's own reason is a second line of the box: one line, no
    // control characters, at most 200 characters.
    const QByteArray reason = "-ERR [AUTH] Authentication failed.";
    row("wrong password", {kPassword + "\n" + reason, {hi, ok, Line(reason + "\r\n")}});
    row("long reason",
        {kPassword + "\n" + ("-ERR nopop " + QString(300, 'x')).left(200),
         {hi, ok, Line("-ERR \x07no\tpop " + QByteArray(300, 'x') + "\r\n-ERR 2\r\n")}});
    row("STAT -ERR", {kReading + "\n-ERR no", stat(Line("-ERR no\r\n"))});
    row("CR in user name is never sent", {.message = kUsername, .user = "u\r\nDELE 1", .sent = ""});
    row("LF in password is never sent",
        {.message = kPassword, .password = "p\nDELE 1", .sent = "USER u\r\n"});

    row("accepts, never answers", {kConnecting, {}});
    row("exactly 3 bytes", {kConnecting, {Line("+OK")}});
    row("STAT 0.6 s late", {kReading, stat(Line("+OK 2 9\r\n", 600ms))});
    row("100 MB flood for a reply",
        {kUsername, {hi, {.bytes = QByteArray(1 << 20, 'x'), .repeat = 100}}});
    const QByteArray markers = QByteArray(64 * 1024, ' ').replace(0, 3, "+OK");
    row("endless line of markers", {kReading, stat({.bytes = markers, .repeat = 400})});
    row("reset before greeting", {kConnecting, {{.reset = true}}});
    row("reset after STAT", {kReading, stat({.reset = true})});

    // Inside TLS, against a certificate for "localhost" alone.
    const QString tls = "pop3s://localhost:%1";
    row("TLS", {.field = tls});
    const QString untrusted = kConnecting + "\nThe server's certificate is not trusted.";
    row("TLS, untrusted certificate", {.message = untrusted, .field = tls, .trusted = false});
    const QString otherHost = kConnecting + "\nThe server's certificate names another host.";
    row("TLS, another host's certificate", {.message = otherHost, .field = "pop3s://127.0.0.1:%1"});
  }

  void exchange() {
    QFETCH(Case, poll);
    const QByteArray sent = poll.sent.value_or(SentBefore(poll.message));
    ScriptedServer server(poll.replies,
                          poll.field.startsWith("pop3s") ? tls_ : QSslConfiguration());
    // A connection left over is closed first, never read as the new one.
    ScriptedServer stale({Line("+OK stale\r\n")});
    std::unique_ptr<QTcpSocket> socket(new QSslSocket);
    socket->connectToHost(QHostAddress::LocalHost, stale.port());
    QVERIFY(socket->waitForConnected(1000));
    Trust(poll.trusted);
    TestHost host;
    // The box stays open a while, as until its user comes back; the server
    // may go on sending meanwhile, and the connection must stay until then.
    QAbstractSocket::SocketState whileBoxOpen = QAbstractSocket::UnconnectedState;
    host.whileBoxIsOpen = [&] {
      whileBoxOpen = socket->state();
      QTest::qWait(200);
    };
    const qint64 before = PeakResidentKiB();
    const std::clock_t cpuBefore = std::clock();

    modPOP3::NotNow notNow;
    const qint32 count = modPOP3::GetMailCount(
        socket, AccountOf(poll.field.arg(server.port()), poll.user, poll.password), host, notNow);

    const double cpu = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    QCOMPARE(count, poll.message.isEmpty() ? poll.count : -1);
    QCOMPARE(host.boxes, poll.message.isEmpty() ? QStringList() : QStringList{poll.message});
    QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    const qint64 grown = PeakResidentKiB() - before;
    QVERIFY2(grown < 20 * 1024, qPrintable(QString("grew by %1 KiB").arg(grown)));
    // Waiting costs no CPU time, whatever the server does.
    QVERIFY2(cpu < 0.5, qPrintable(QString("the poll cost %1 s of CPU time").arg(cpu)));
    // Nothing follows the last command once the client has gone.
    QTRY_VERIFY(server.clientGone() || sent.isEmpty());
    QTest::qWait(50);
    QCOMPARE(server.received(), sent);
    QVERIFY(stale.received().isEmpty());
    // A server that answered -ERR stays connected: so does the client, until
    // the box has been dismissed.
    if (poll.message.contains("\n-ERR")) QCOMPARE(whileBoxOpen, QAbstractSocket::ConnectedState);
  }

  // A login refused only for now (RFC 2449) ends the poll quietly, until
  // the 60th such refusal in a row (an hour of ticks): that one is shown,
  // once.
  void notNow_data() {
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<int>("refused");        // refusals in a row before
    QTest::addColumn<QStringList>("boxes");  // of two polls in a row
    const Reply hi = Line("+OK ready\r\n"), ok = Line("+OK\r\n");
    const QByteArray delay = "-ERR [LOGIN-DELAY] Logins must be at least 1 minute apart";
    const QByteArray inUse = "-ERR [IN-USE] Mailbox in use";
    const auto row = [](const char* name, const QList<Reply>& replies, int refused,
                        const QStringList& boxes = {}) {
      QTest::newRow(name) << replies << refused << boxes;
    };
    row("LOGIN-DELAY on PASS", {hi, ok, Line(delay + "\r\n")}, 0);
    row("LOGIN-DELAY on USER", {hi, Line(delay + "\r\n")}, 0);
    row("IN-USE on PASS", {hi, ok, Line(inUse + "\r\n")}, 57);
    row("the hour's last: shown", {hi, ok, Line(delay + "\r\n")}, 58, {kPassword + "\n" + delay});
    row("then another hour", {hi, ok, Line(delay + "\r\n")}, 59, {kPassword + "\n" + delay});
    const QByteArray temp = "-ERR [SYS/TEMP] try later";
    row("another code", {hi, ok, Line(temp + "\r\n")}, 59,
        {kPassword + "\n" + temp, kPassword + "\n" + temp});
    row("no code", {hi, Line("-ERR LOGIN-DELAY\r\n")}, 59,
        {kUsername + "\n-ERR LOGIN-DELAY", kUsername + "\n-ERR LOGIN-DELAY"});
    row("in the greeting", {Line(inUse + "\r\n")}, 59, {kConnecting, kConnecting});
  }

  void notNow() {
    QFETCH(QList<Reply>, replies);
    QFETCH(int, refused);
    ScriptedServer server(replies);
    std::unique_ptr<QTcpSocket> socket;
    TestHost host;
    modPOP3::NotNow notNow{refused};
    for (int poll = 0; poll < 2; ++poll) {
      QCOMPARE(
          modPOP3::GetMailCount(socket, AccountOf(kOnLoopback.arg(server.port())), host, notNow),
          -1);
      QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }
    QTEST(host.boxes, "boxes");
    QVERIFY(!server.received().contains("STAT"));
  }

  // The next address is tried beside a dead one, within the greeting's wait;
  // dead_route.sh makes the names and the dead route, and a mailbox for
  // alice on 110.
  void deadAddress_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("dead IPv6, then 127.0.0.1") << "dead-then-v4.test";
    QTest::newRow("dead IPv6, then a working IPv6") << "dead-then-v6.test";
    QTest::newRow("only the dead address") << "dead.test";
  }

  void deadAddress() {
    QFETCH(QString, server);
    if (QHostInfo::fromName(server).error() != QHostInfo::NoError) QSKIP("no dead route here");
    const bool dead = server == "dead.test";
    std::unique_ptr<QTcpSocket> socket;
    TestHost host;
    modPOP3::NotNow notNow;
    QElapsedTimer clock;
    clock.start();
    const qint32 count =
        modPOP3::GetMailCount(socket, AccountOf(server, "alice", "secret"), host, notNow);
    const qint64 ms = clock.elapsed();
    qInfo("%s: %lld ms", qPrintable(server), ms);
    QCOMPARE(count, dead ? -1 : 0);
    QCOMPARE(host.boxes, dead ? QStringList{kConnecting} : QStringList{});
    // Only the dead address: given up when the greeting's wait ends.
    QVERIFY2(dead ? ms >= 1950 && ms < 2500 : ms < 2000, qPrintable(QString::number(ms)));
  }

  void serverField() {
    // "host|port|tls", port 0 for the scheme's; "": refused.
    const auto parsed = [](const QString& field) {
      const auto a = modPOP3::ParseServerField(field);
      if (!a) return QString();
      return QString("%1|%2|%3").arg(a->host).arg(a->port.value_or(0)).arg(a->tls);
    };
    // What works today keeps working: the field is the host, as it stands.
    QCOMPARE(parsed("mail.example.org"), "mail.example.org|0|0");
    QCOMPARE(parsed("::1"), "::1|0|0");

    QCOMPARE(parsed("pop3s://pop.example.org:1995"), "pop.example.org|1995|1");
    QCOMPARE(parsed("POP3S://h"), "h|0|1");
    QCOMPARE(parsed("pop3://127.0.0.1:1110"), "127.0.0.1|1110|0");
    QCOMPARE(parsed("pop3s://[2001:db8::1]"), "2001:db8::1|0|1");
    QCOMPARE(parsed("pop3://[::1]:2110"), "::1|2110|0");

    for (const char* refused :
         {"pop3s://", "pop3://h:0", "pop3://h:65536", "pop3://::1", "pop3://me@h"})
      QVERIFY2(parsed(refused).isEmpty(), refused);
  }

  void statReply() {
    const auto count = [](const QByteArray& reply) {
      return modPOP3::ParseStatReply(reply).value_or(-1);  // -1: refused
    };
    QCOMPARE(count("+OK 2 320\r\n"), 2);
    QCOMPARE(count("+OK 2147483647 1\r\n"), 2147483647);
    QCOMPARE(count("xxxx5 50\r\n"), 5);  // positions 1 to 4 are not examined
    // The size is not needed: a mailbox past 2 GiB, or text after the size,
    // must not stop the watching.
    QCOMPARE(count("+OK 1500 3221225472\r\n"), 1500);
    QCOMPARE(count("+OK 2 320 messages\r\n"), 2);

    // A count only where the reply holds one, and a size digit follows.
    for (const char* refused : {"+OK", "+OK 5\r\n", "+OK 5 \r\n", "+OK -1 5\r\n", "+OK 0x5 5\r\n",
                                "+OK 2147483648 1\r\n"})
      QVERIFY2(count(refused) == -1, refused);
  }

 private:
  // Whether a new socket trusts the test server's certificate, as one the
  // system's store holds.
  void Trust(bool trusted) {
    QSslConfiguration config = system_;
    if (trusted) config.addCaCertificate(tls_.localCertificate());
    QSslConfiguration::setDefaultConfiguration(config);
  }

  const QSslConfiguration tls_ = LocalhostTls();
  const QSslConfiguration system_ = QSslConfiguration::defaultConfiguration();
};

QTEST_GUILESS_MAIN(MailCountTest)
#include "mail_count_test.moc"
