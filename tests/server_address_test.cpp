// The forms the server field takes.
#include "pop3/server_address.h"

#include <QTest>

class ServerAddressTest : public QObject {
  Q_OBJECT
 private slots:
  void parses_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("parsed");  // "host|port|tls", port 0 for the scheme's; "": refused
    const auto row = [](const QString& field, const QString& parsed) {
      QTest::newRow(qPrintable(field)) << field << parsed;
    };
    // What works today keeps working: the field is the host, as it stands.
    row("mail.example.org", "mail.example.org|0|0");
    row("::1", "::1|0|0");
    row(" host ", " host |0|0");

    row("pop3s://pop.example.org:1995", "pop.example.org|1995|1");
    row("POP3S://h", "h|0|1");
    row("pop3://127.0.0.1:1110", "127.0.0.1|1110|0");
    row("pop3s://[2001:db8::1]", "2001:db8::1|0|1");
    row("pop3://[::1]:2110", "::1|2110|0");

    row("pop3s://", "");
    row("pop3://h:0", "");
    row("pop3://h:65536", "");
    row("pop3://::1", "");
    row("pop3://me@h", "");
  }

  void parses() {
    QFETCH(QString, field);
    const auto address = modPOP3::ParseServerField(field);
    const QString parsed = address ? QString("%1|%2|%3")
                                         .arg(address->host)
                                         .arg(address->port.value_or(0))
                                         .arg(address->tls)
                                   : QString();
    QTEST(parsed, "parsed");
  }
};

QTEST_APPLESS_MAIN(ServerAddressTest)
#include "server_address_test.moc"
