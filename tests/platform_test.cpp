// Which window system the program asks Qt for, before Qt starts.
#include "host/platform.h"

#include <QTest>

class PlatformTest : public QObject {
  Q_OBJECT
 private slots:
  void chooses_data();
  void chooses();
};

void PlatformTest::chooses_data() {
  QTest::addColumn<QByteArray>("display");  // "" for unset
  QTest::addColumn<QByteArray>("chosen");   // QT_QPA_PLATFORM before; "" for unset
  QTest::addColumn<QByteArrayList>("args");
  QTest::addColumn<QByteArray>("platform");  // QT_QPA_PLATFORM after

  const QByteArrayList none{"tallowin"};
  QTest::newRow("X11 reachable: X11")
      << QByteArray(":1") << QByteArray() << none << QByteArray("xcb");
  QTest::newRow("the person's variable kept")
      << QByteArray(":1") << QByteArray("wayland") << none << QByteArray("wayland");
  QTest::newRow("the person's -platform kept")
      << QByteArray(":1") << QByteArray() << QByteArrayList{"tallowin", "-platform", "wayland"}
      << QByteArray();
  QTest::newRow("Wayland alone: left to Qt")
      << QByteArray() << QByteArray() << none << QByteArray();
}

void PlatformTest::chooses() {
  QFETCH(QByteArray, display);
  QFETCH(QByteArray, chosen);
  QFETCH(QByteArrayList, args);
  qputenv("WAYLAND_DISPLAY", "wayland-0");
  display.isEmpty() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
  chosen.isEmpty() ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", chosen);
  QList<char*> argv;
  for (QByteArray& arg : args) argv << arg.data();
  host::ChooseWindowSystem(static_cast<int>(argv.size()), argv.data());
  QTEST(qgetenv("QT_QPA_PLATFORM"), "platform");
}

QTEST_APPLESS_MAIN(PlatformTest)
#include "platform_test.moc"
