// The window and its handlers, with the desktop's services replaced: the
// masked password, the tray pictures, when it polls.
#include "notifier/frm_main.h"
#include "host/host.h"
#include "support/scripted_server.h"
#include "support/test_host.h"
#include "tray/tray_tip.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QPainter>
#include <QTimer>

namespace {

// How many rows of pixels differ between two pictures of the same size, from
// the first that differs to the last.
int InkRows(const QImage& a, const QImage& b) {
  QList<int> rows;
  for (int y = 0; y < a.height(); ++y)
    if (a.copy(0, y, a.width(), 1) != b.copy(0, y, b.width(), 1)) rows << y;
  return rows.isEmpty() ? 0 : rows.last() - rows.first() + 1;
}

QImage Grab(QWidget& widget) { return widget.grab().toImage(); }

// A POP3 server that counts two messages at every poll.
ScriptedServer TwoMessages() {
  return ScriptedServer({Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK\r\n"), Line("+OK 2 9\r\n")});
}

// Minimised as the user does it: the baseline poll, then into the tray.
void HideIntoTray(frmMain& form, const ScriptedServer& server) {
  form.Text1->setText(kOnLoopback.arg(server.port()));
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY(!form.isVisible());
}

int Polls(const ScriptedServer& server) { return int(server.received().count("STAT")); }

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT
  QTemporaryDir busDir_;

  QString BusSocket() const { return busDir_.filePath("system_bus_socket"); }

 private slots:
  void initTestCase() {
    // A system bus of the test's own, read once per process: none but
    // while a test listens there.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + BusSocket().toUtf8());
  }

  void ticksPollWhileHidden() {
    // Once hidden, mutter calls the window withdrawn, which Qt reports as
    // no longer minimised: it is still the program's to poll. The system
    // bus takes the connection and says nothing: past the wait for an
    // answer nothing reports the network.
    QLocalServer bus;
    QVERIFY(bus.listen(BusSocket()));
    auto server = TwoMessages();
    TestHost host;
    frmMain form(host, [] { return true; });
    HideIntoTray(form, server);
    QTRY_COMPARE_WITH_TIMEOUT(Polls(server), 1, 10000);
    form.setWindowState(Qt::WindowNoState);
    form.Timer1Tick();
    QCOMPARE(Polls(server), 2);
    QVERIFY(host.boxes.isEmpty());
  }

  void passwordMasked() {
    TestHost host;
    frmMain form(host);
    QTest::keyClicks(form.Text3, "se cr=");
    QCOMPARE(form.Text3->displayText(), QString("******"));
    QVERIFY(!form.Text3->testAttribute(Qt::WA_InputMethodEnabled));
  }

  void textIsWholeInTheDesktopsFont() {
    // GNOME's font has an 18 px line, taller than the fields were drawn for:
    // descenders and underscores must not be cut off. A size that fits is
    // kept. The desktop's own font first (a GNOME session's, where the
    // desktop test runs this), then a small and a large one.
    const QString text = "gjpqy_";
    const QFont desktop = QApplication::font();
    qInfo("the desktop's font: %s", qPrintable(desktop.toString()));
    for (const int points : {0, 8, 14}) {
      if (points) QApplication::setFont(QFont(desktop.family(), points));
      TestHost host;
      frmMain form(host);
      QLineEdit& field = *form.Text2;
      if (points == 8) QCOMPARE(field.font().pointSize(), 8);
      const QImage empty = Grab(field);
      field.setText(text);
      QImage whole(200, 100, QImage::Format_RGB32);
      whole.fill(Qt::white);
      const QImage blank = whole;
      QPainter painter(&whole);
      painter.setFont(field.font());
      painter.drawText(10, 50, text);
      painter.end();
      QVERIFY2(InkRows(Grab(field), empty) >= InkRows(whole, blank) - 1,
               qPrintable(QApplication::font().toString()));
    }
    QApplication::setFont(desktop);
  }

  void pictureFiles() {
    // A panel of a 2x screen draws the 48 px picture, not the 32 px one grown.
    const auto picture = host::LoadPicture(host::ReadFile(host::AppFile("IsMail.ico")));
    QVERIFY(picture && picture->availableSizes().contains(QSize(48, 48)));
    // A picture of another kind in the icon's place is still read.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(16, 16, QImage::Format_ARGB32).save(&buffer, "PNG");
    QVERIFY(host::LoadPicture(png));
    QVERIFY(!host::LoadPicture(QByteArray("\0\0\1\0not an icon", 15)));
  }

  void onlyTheTraysOwnClickRestores() {
    // An XEmbed tray reports a double-click; a StatusNotifierItem host only
    // an activation (Trigger).
    const struct {
      QSystemTrayIcon::ActivationReason reason;
      bool statusNotifierHost, restores;
    } rows[] = {{QSystemTrayIcon::DoubleClick, false, true},
                {QSystemTrayIcon::Trigger, true, true},
                {QSystemTrayIcon::Trigger, false, false},
                {QSystemTrayIcon::Context, true, false},
                {QSystemTrayIcon::MiddleClick, true, false}};
    auto server = TwoMessages();
    for (const auto& row : rows) {
      TestHost host;
      frmMain form(host, [] { return true; });
      HideIntoTray(form, server);
      if (const int code = modSystray::MouseMessage(row.reason, row.statusNotifierHost))
        form.TrayMouseMessage(code);
      QVERIFY2(form.isVisible() == row.restores && form.isMinimized() != row.restores,
               qPrintable(QString("reason %1 on %2").arg(row.reason).arg(row.statusNotifierHost)));
      if (!row.restores) continue;
      // Shown again, its ticks poll nothing.
      const int polls = Polls(server);
      form.Timer1Tick();
      QCOMPARE(Polls(server), polls);
    }
  }

  void boxShowsMarkupAsTheCharactersItIs() {
    // A server's reply stands on the box's second line; a first line with
    // markup is what Qt's guess would take for rich text. Offscreen, Qt
    // still offers an X11 interface, with no connection: the box must not
    // take that for a display when it joins the program's window group.
    for (const QString prompt :
         {"Error: Sending Password to POP3 Server\n-ERR <b>locked</b>",
          "<a href=\"https://example.org\">Error</a>: <img src=\"x.png\">"}) {
      Qt::TextFormat shown = Qt::RichText;
      QTimer::singleShot(0, [&shown] {
        for (QWidget* widget : QApplication::topLevelWidgets())
          if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            shown = box->findChild<QLabel*>("qt_msgbox_label")->textFormat();
            box->accept();
          }
      });
      host::Host().MsgBox(prompt);
      QCOMPARE(shown, Qt::PlainText);
    }
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
