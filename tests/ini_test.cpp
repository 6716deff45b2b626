// The three settings between the window's fields and config.ini.
#include "settings/ini.h"
#include "support/files.h"
#include "support/test_host.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Fields {
  QLineEdit Text1, Text2, Text3;
  void Load(const QString& path) { modIni::LoadSettings(Text1, Text2, Text3, path); }
  void Save(const QString& path, TestHost& host) {
    modIni::SaveSettings(Text1, Text2, Text3, path, host);
  }
};

}  // namespace

class IniTest : public QObject {
  Q_OBJECT
 private slots:
  void firstStartThenSave();
  void roundTrips_data();
  void roundTrips();
  void longValueLoadsCutAndSavesCut();
  void saveKeepsTheRestOfTheFile();
  void unwritableIsReported_data();
  void unwritableIsReported();
};

void IniTest::firstStartThenSave() {
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  Fields fields;
  fields.Text1.setText("left over");
  fields.Load(path);
  QVERIFY(fields.Text1.text().isEmpty());
  QVERIFY(fields.Text2.text().isEmpty());
  QVERIFY(fields.Text3.text().isEmpty());

  fields.Text1.setText("mail.example.org");
  fields.Text2.setText("alice");
  fields.Text3.setText("secret");
  TestHost host;
  fields.Save(path, host);
  QVERIFY(host.boxes.isEmpty());
  QCOMPARE(ReadFile(path),
           QByteArray("[POP3]\nServername=mail.example.org\nUsername=alice\nPassword=secret\n"));
  struct stat st {};
  QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
  QCOMPARE(st.st_mode & 0777, mode_t(0600));
}

void IniTest::roundTrips_data() {
  QTest::addColumn<QString>("password");
  QTest::newRow("= and blanks inside") << "a = b=c d";
  QTest::newRow("quotes and semicolon") << "\"q\";x";
  QTest::newRow("brackets") << "[POP3]";
  QTest::newRow("non-ASCII") << QString::fromUtf8("pässwörd€");
  QTest::newRow("empty") << "";
}

void IniTest::roundTrips() {
  QFETCH(QString, password);
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  TestHost host;
  Fields saved;
  saved.Text1.setText("s");
  saved.Text3.setText(password);
  saved.Save(path, host);
  Fields loaded;
  loaded.Text2.setText("stale");
  loaded.Load(path);
  QCOMPARE(loaded.Text1.text(), QString("s"));
  QCOMPARE(loaded.Text2.text(), QString());
  QCOMPARE(loaded.Text3.text(), password);
}

void IniTest::longValueLoadsCutAndSavesCut() {
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  WriteFile(path, "[POP3]\nServername=" + QByteArray(300, 's') + "\n");
  Fields fields;
  fields.Load(path);
  QCOMPARE(fields.Text1.text(), QString(254, 's'));
  TestHost host;
  fields.Save(path, host);
  QVERIFY(ReadFile(path).startsWith("[POP3]\nServername=" + QByteArray(254, 's') + "\n"));
}

void IniTest::saveKeepsTheRestOfTheFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  WriteFile(path,
            "; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[POP3]\r\nServername=old\r\n"
            "Timeout=5\r\n\r\n[Later]\r\nX=y\r\n");
  Fields fields;
  fields.Load(path);
  fields.Text1.setText("new");
  fields.Text2.setText("u");
  fields.Text3.setText("p");
  TestHost host;
  fields.Save(path, host);
  QCOMPARE(ReadFile(path),
           QByteArray("; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[POP3]\r\nServername=new\r\n"
                      "Timeout=5\r\nUsername=u\r\nPassword=p\r\n\r\n[Later]\r\nX=y\r\n"));
}

void IniTest::unwritableIsReported_data() {
  QTest::addColumn<bool>("folderReadOnly");
  QTest::newRow("folder read-only") << true;
  // The folder would allow a rename; the user's wish for the file counts.
  QTest::newRow("file read-only") << false;
}

void IniTest::unwritableIsReported() {
  QFETCH(bool, folderReadOnly);
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  const QByteArray before = "[POP3]\nServername=kept\nUsername=kept\nPassword=kept\n";
  WriteFile(path, before);
  QVERIFY(QFile::setPermissions(folderReadOnly ? dir.path() : path,
                                QFile::ReadOwner | QFile::ExeOwner));
  Fields fields;
  fields.Text1.setText("lost");
  TestHost host;
  fields.Save(path, host);
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  QCOMPARE(host.boxes.size(), 1);
  QVERIFY2(host.boxes[0].contains(path), qPrintable(host.boxes[0]));
  QVERIFY2(host.boxes[0].contains("Permission denied"), qPrintable(host.boxes[0]));
  QCOMPARE(ReadFile(path), before);
}

QTEST_MAIN(IniTest)
#include "ini_test.moc"
