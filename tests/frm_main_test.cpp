// The window and its handlers, with the desktop's services replaced: the
// masked password, the tray pictures, when it polls.
#include "notifier/frm_main.h"
#include "host/host.h"
#include "support/scripted_server.h"
#include "support/test_host.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

class FrmMainTest : public QObject {
  Q_OBJECT
 private slots:
  void passwordMasked() {
    TestHost host;
    frmMain form(host);
    QTest::keyClicks(form.Text3, "se cr=");
    QCOMPARE(form.Text3->displayText(), QString("******"));
    QVERIFY(!form.Text3->testAttribute(Qt::WA_InputMethodEnabled));
  }

  void trayPicturesKeepEverySize() {
    // A panel of a 2x screen draws the 48 px picture, not the 32 px one grown.
    const auto picture = host::LoadPicture(host::AppFile("IsMail.ico"));
    QVERIFY(picture && picture->availableSizes().contains(QSize(48, 48)));
  }

  void pollsOnlyWhileMinimisedAndOpen() {
    ScriptedServer server({Line("+OK\r\n")});
    const QString ini = host::AppFile("config.ini");
    QFile::remove(ini);
    QVERIFY(QDir().mkdir(ini));  // a folder in the file's place: the save fails
    TestHost host;
    frmMain form(host);
    form.Text1->setText(kOnLoopback.arg(server.port()));
    form.Timer1Tick();  // not minimised
    // Minimised, then closed: the timer goes on while the save's error box
    // is open.
    form.setWindowState(Qt::WindowMinimized);
    form.Timer1->setInterval(10);
    host.whileBoxIsOpen = [] { QTest::qWait(200); };
    form.close();
    QDir().rmdir(ini);
    QCOMPARE(host.boxes.size(), 1);
    QVERIFY(host.boxes[0].startsWith("Error: The settings could not be saved"));
    QVERIFY(server.received().isEmpty());
  }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
