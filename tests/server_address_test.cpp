// The forms the server field takes.
#include "pop3/server_address.h"

#include <QTest>

class ServerAddressTest : public QObject {
  Q_OBJECT
 private slots:
  void parses() {
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
};

QTEST_APPLESS_MAIN(ServerAddressTest)
#include "server_address_test.moc"
