// The window as it is made: captions, layout, focus, the masked password.
#include "notifier/frm_main.h"
#include "support/test_host.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

class FrmMainTest : public QObject {
  Q_OBJECT
 private slots:
  void captions();
  void layoutInTwips();
  void focusAndTabOrder();
  void passwordShowsStars();
  void timerRunsFromCreation();
};

void FrmMainTest::captions() {
  TestHost host;
  frmMain form(host);
  QCOMPARE(form.windowTitle(), QString("Tallowin"));
  QCOMPARE(form.Label1->text(), QString("POP3 Server:"));
  QCOMPARE(form.Label2->text(), QString("Username:"));
  QCOMPARE(form.Label3->text(), QString("Password:"));
  for (QLineEdit* field : {form.Text1, form.Text2, form.Text3}) QVERIFY(field->text().isEmpty());
  QVERIFY(!form.windowIcon().isNull());
}

void FrmMainTest::layoutInTwips() {
  QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
  TestHost host;
  frmMain form(host);
  // 15 twips a pixel at 96 dpi.
  QCOMPARE(form.size(), QSize(314, 131));
  QCOMPARE(form.Label1->geometry(), QRect(8, 8, 297, 17));
  QCOMPARE(form.Text1->geometry(), QRect(8, 24, 297, 19));
  QCOMPARE(form.Label2->geometry(), QRect(8, 48, 297, 17));
  QCOMPARE(form.Text2->geometry(), QRect(8, 64, 297, 19));
  QCOMPARE(form.Label3->geometry(), QRect(8, 88, 297, 17));
  QCOMPARE(form.Text3->geometry(), QRect(8, 104, 297, 19));
  // The lowest field ends 120 twips (8 pixels) above the bottom edge.
  QCOMPARE(form.height() - form.Text3->geometry().bottom() - 1, 8);
}

void FrmMainTest::focusAndTabOrder() {
  TestHost host;
  frmMain form(host);
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QCOMPARE(QApplication::focusWidget(), form.Text1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), form.Text2);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), form.Text3);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), form.Text1);
}

void FrmMainTest::passwordShowsStars() {
  TestHost host;
  frmMain form(host);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QTest::keyClicks(form.Text3, "se cr=");
  QCOMPARE(form.Text3->text(), QString("se cr="));
  QCOMPARE(form.Text3->displayText(), QString("******"));
  QVERIFY(!form.Text3->testAttribute(Qt::WA_InputMethodEnabled));
}

void FrmMainTest::timerRunsFromCreation() {
  TestHost host;
  frmMain form(host);
  QVERIFY(form.Timer1->isActive());
  QCOMPARE(form.Timer1->interval(), 60000);
}

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
