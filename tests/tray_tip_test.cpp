// The tray icon's tip.
#include "tray/tray_tip.h"

#include <QTest>

using modSystray::ComposeTip;
using modSystray::ShownTip;

class TrayTipTest : public QObject {
  Q_OBJECT
 private slots:
  void tip_data();
  void tip();
  void longTitleIsCutAndLosesItsNul();
};

void TrayTipTest::tip_data() {
  QTest::addColumn<int>("major");
  QTest::addColumn<int>("minor");
  QTest::addColumn<QString>("shown");
  QTest::newRow("1.0") << 1 << 0 << "Tallowin v1.00";
  QTest::newRow("2.5") << 2 << 5 << "Tallowin v2.05";
  QTest::newRow("3.123") << 3 << 123 << "Tallowin v3.123";
}

void TrayTipTest::tip() {
  QFETCH(int, major);
  QFETCH(int, minor);
  QFETCH(QString, shown);
  const QString tip = ComposeTip("Tallowin", major, minor);
  QCOMPARE(tip.size(), 64);
  QCOMPARE(tip, shown + QChar(0) + QString(63 - shown.size(), ' '));
  QCOMPARE(ShownTip(tip), shown);
}

void TrayTipTest::longTitleIsCutAndLosesItsNul() {
  const QString title(60, 't');
  const QString tip = ComposeTip(title, 1, 0);
  QCOMPARE(tip, title + " v1.");
  QVERIFY(!tip.contains(QChar(0)));
  QCOMPARE(ShownTip(tip), tip);
}

QTEST_APPLESS_MAIN(TrayTipTest)
#include "tray_tip_test.moc"
