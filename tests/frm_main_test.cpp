// The window and its handlers, with the desktop's services replaced: focus,
// the masked password, when it polls, how it ends.
#include "notifier/frm_main.h"
#include "host/host.h"
#include "support/pop3_script.h"
#include "support/test_host.h"

#include <QDir>
#include <QFile>

#include <csignal>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

class FrmMainTest : public QObject {
  Q_OBJECT
 private slots:
  void fields();
  void trayPicturesKeepEverySize();
  void ticksWhileShownDoNothing();
  void onlyTheUsersCloseSaves_data();
  void onlyTheUsersCloseSaves();
  void noPollWhileTheSaveFailureIsShown();
};

void FrmMainTest::fields() {
  TestHost host;
  frmMain form(host);
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  for (QLineEdit* next : {form.Text1, form.Text2, form.Text3, form.Text1}) {
    QCOMPARE(QApplication::focusWidget(), next);
    QTest::keyClick(next, Qt::Key_Tab);
  }
  QTest::keyClicks(form.Text3, "se cr=");
  QCOMPARE(form.Text3->text(), QString("se cr="));
  QCOMPARE(form.Text3->displayText(), QString("******"));
  QVERIFY(!form.Text3->testAttribute(Qt::WA_InputMethodEnabled));
}

void FrmMainTest::trayPicturesKeepEverySize() {
  // A panel of a 2x screen draws the 48 px picture, not the 32 px one grown.
  const auto picture = host::LoadPicture(host::AppFile("IsMail.ico"));
  QVERIFY(picture && picture->availableSizes().contains(QSize(48, 48)));
}

void FrmMainTest::ticksWhileShownDoNothing() {
  ScriptedServer server({Line("+OK\r\n")});
  TestHost host;
  frmMain form(host);
  form.Text1->setText(OnLoopback(server.port()));
  form.show();
  form.Timer1Tick();
  QTest::qWait(100);
  QCOMPARE(server.connections(), 0);
}

void FrmMainTest::onlyTheUsersCloseSaves_data() {
  QTest::addColumn<int>("route");
  QTest::addColumn<bool>("saves");
  QTest::newRow("the window is closed") << 0 << true;
  // The session manager's last word; Qt turns it into a quit request.
  QTest::newRow("the session ends") << 1 << false;
  QTest::newRow("SIGTERM") << 2 << false;
  QTest::newRow("SIGHUP") << 3 << false;
}

void FrmMainTest::onlyTheUsersCloseSaves() {
  QFETCH(int, route);
  QFETCH(bool, saves);
  const QString ini = host::AppFile("config.ini");
  QFile::remove(ini);
  TestHost host;
  frmMain form(host);
  form.Text2->setText("alice");
  form.show();
  switch (route) {
    case 0:
      form.close();
      break;
    case 1: {
      QEvent quit(QEvent::Quit);
      QCoreApplication::sendEvent(qApp, &quit);
      break;
    }
    case 2:
      ::raise(SIGTERM);
      break;
    case 3:
      ::raise(SIGHUP);
      break;
  }
  QTRY_COMPARE(host.ends, 1);
  QCOMPARE(host.lastExitCode, 0);
  QCOMPARE(QFile::exists(ini), saves);
  QFile::remove(ini);
}

void FrmMainTest::noPollWhileTheSaveFailureIsShown() {
  ScriptedServer server({Line("+OK\r\n")});
  const QString ini = host::AppFile("config.ini");
  QFile::remove(ini);
  QVERIFY(QDir().mkdir(ini));  // a folder in the file's place: the save fails
  TestHost host;
  frmMain form(host);
  form.Text1->setText(OnLoopback(server.port()));
  form.setWindowState(Qt::WindowMinimized);
  form.Timer1->setInterval(10);
  host.whileBoxIsOpen = [] { QTest::qWait(200); };
  form.close();
  QDir().rmdir(ini);
  QVERIFY2(host.boxes.size() == 1, qPrintable(host.boxes.join("|")));
  QVERIFY2(host.boxes[0].startsWith("Error: The settings could not be saved"),
           qPrintable(host.boxes[0]));
  QCOMPARE(server.connections(), 0);
}

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
