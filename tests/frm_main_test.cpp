// The window as it is made: captions, layout, focus, the masked password.
#include "notifier/frm_main.h"
#include "notifier/host.h"
#include "support/scripted_server.h"
#include "support/test_host.h"

#include <QFile>

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
  void ticksWhileShownDoNothing();
  void minimiseWithoutTrayPollsAndStaysOnTaskbar();
  void doubleClickRestores();
  void onlyTheUsersCloseSaves_data();
  void onlyTheUsersCloseSaves();
};

namespace {

Reply Line(const QByteArray& bytes) { return {Chunk{std::chrono::milliseconds(0), bytes, false}}; }

}  // namespace

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

void FrmMainTest::ticksWhileShownDoNothing() {
  ScriptedServer server({Line("+OK\r\n")});
  TestHost host;
  frmMain form(host, server.port());
  form.Text1->setText("127.0.0.1");
  form.show();
  form.Timer1Tick();
  QTest::qWait(100);
  QCOMPARE(server.connections(), 0);
}

void FrmMainTest::minimiseWithoutTrayPollsAndStaysOnTaskbar() {
  ScriptedServer server({Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK 3 30\r\n")});
  TestHost host;
  frmMain form(host, server.port());
  form.Text1->setText("127.0.0.1");
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.showMinimized();
  QTRY_COMPARE(form.Watch().LastMailCount(), 3);
  QCOMPARE(server.connections(), 1);
  QVERIFY(host.boxes.isEmpty());
  // There is no notification area here: hidden, it could never come back.
  QVERIFY(form.isVisible());
  QVERIFY(form.isMinimized());
}

void FrmMainTest::doubleClickRestores() {
  TestHost host;
  frmMain form(host);
  form.setWindowState(Qt::WindowMinimized);
  form.TrayMouseMessage(0x202);  // a single click
  QVERIFY(!form.isVisible());
  form.TrayMouseMessage(515);
  QVERIFY(form.isVisible());
  QVERIFY(!form.isMinimized());
}

void FrmMainTest::onlyTheUsersCloseSaves_data() {
  QTest::addColumn<frmMain::UnloadMode>("mode");
  QTest::addColumn<bool>("saves");
  QTest::newRow("close button") << frmMain::UnloadMode::FormControlMenu << true;
  QTest::newRow("the program itself") << frmMain::UnloadMode::FormCode << true;
  QTest::newRow("session ends") << frmMain::UnloadMode::AppWindows << false;
  QTest::newRow("signal") << frmMain::UnloadMode::AppTaskManager << false;
}

void FrmMainTest::onlyTheUsersCloseSaves() {
  QFETCH(frmMain::UnloadMode, mode);
  QFETCH(bool, saves);
  const QString ini = host::AppFile("config.ini");
  QFile::remove(ini);
  TestHost host;
  frmMain form(host);
  form.Text2->setText("alice");
  form.QueryUnload(mode);
  QCOMPARE(host.ends, 1);
  QCOMPARE(host.lastExitCode, 0);
  QCOMPARE(QFile::exists(ini), saves);
  QFile::remove(ini);
}

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
