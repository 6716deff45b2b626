// The forms the server field takes.
#include "pop3/server_address.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<quint16>)

class ServerAddressTest : public QObject {
  Q_OBJECT
 private slots:
  void parses_data();
  void parses();
};

void ServerAddressTest::parses_data() {
  using Port = std::optional<quint16>;
  QTest::addColumn<QString>("field");
  QTest::addColumn<bool>("valid");
  QTest::addColumn<QString>("host");
  QTest::addColumn<Port>("port");
  QTest::addColumn<bool>("tls");

  // What works today keeps working: the field is the host, as it stands.
  QTest::newRow("name") << "mail.example.org" << true << "mail.example.org" << Port() << false;
  QTest::newRow("IPv6") << "::1" << true << "::1" << Port() << false;
  QTest::newRow("blanks kept") << " host " << true << " host " << Port() << false;

  QTest::newRow("pop3s with port")
      << "pop3s://pop.example.org:1995" << true << "pop.example.org" << Port(1995) << true;
  QTest::newRow("upper-case scheme") << "POP3S://h" << true << "h" << Port() << true;
  QTest::newRow("pop3 with port") << "pop3://127.0.0.1:1110" << true << "127.0.0.1" << Port(1110)
                                  << false;
  QTest::newRow("IPv6 in brackets")
      << "pop3s://[2001:db8::1]" << true << "2001:db8::1" << Port() << true;
  QTest::newRow("IPv6 with port") << "pop3://[::1]:2110" << true << "::1" << Port(2110) << false;

  QTest::newRow("no host") << "pop3s://" << false << "" << Port() << false;
  QTest::newRow("port 0") << "pop3://h:0" << false << "" << Port() << false;
  QTest::newRow("port too big") << "pop3://h:65536" << false << "" << Port() << false;
  QTest::newRow("bare IPv6 in URL") << "pop3://::1" << false << "" << Port() << false;
  QTest::newRow("user info") << "pop3://me@h" << false << "" << Port() << false;
}

void ServerAddressTest::parses() {
  QFETCH(QString, field);
  QFETCH(bool, valid);
  const auto address = modPOP3::ParseServerField(field);
  QCOMPARE(address.has_value(), valid);
  if (!valid) return;
  QTEST(address->host, "host");
  QTEST(address->port, "port");
  QTEST(address->tls, "tls");
}

QTEST_APPLESS_MAIN(ServerAddressTest)
#include "server_address_test.moc"
