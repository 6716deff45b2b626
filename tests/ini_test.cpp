// The three settings between the window's fields and config.ini.
#include "settings/ini.h"
#include "support/files.h"
#include "support/test_host.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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
  void longValueLoadsCut();
  void unwritableIsReported_data();
  void unwritableIsReported();
  void programFolderNotWritable();
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

void IniTest::longValueLoadsCut() {
  QTemporaryDir dir;
  const QString path = dir.filePath("config.ini");
  WriteFile(path, "[POP3]\nServername=" + QByteArray(300, 's') + "\n");
  Fields fields;
  fields.Load(path);
  QCOMPARE(fields.Text1.text(), QString(254, 's'));

  // A cut never leaves half of a character that takes two UTF-16 units.
  WriteFile(path, "[POP3]\nPassword=" + QByteArray(253, 'x') + "\xf0\x9f\x93\xab\n");
  fields.Load(path);
  QCOMPARE(fields.Text3.text(), QString(253, 'x'));
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

void IniTest::programFolderNotWritable() {
  // As an installed program is, for its user: the file is the user's own.
  if (::access(QFile::encodeName(host::AppPath()).constData(), W_OK) == 0)
    QSKIP("the test's own folder is writable: run it as another user (as_user.sh)");
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
  const QString path = host::SettingsFile();
  QCOMPARE(path, home.filePath("tallowin/config.ini"));
  QCOMPARE(QFile::permissions(home.filePath("tallowin")) & 0x7777, QFile::Permissions(0x7700));
}

QTEST_MAIN(IniTest)
#include "ini_test.moc"
