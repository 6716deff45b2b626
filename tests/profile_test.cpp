// The INI file layer: what it reads, what a write changes and what it keeps,
// what it refuses.
#include "settings/profile.h"
#include "host/host.h"
#include "host/owner.h"
#include "settings/code_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <functional>

namespace {

mode_t ModeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

using host::ReadFile;

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
           qPrintable(path));
}

constexpr uid_t kNobody = 65534;
constexpr uid_t kOther = 65533;  // another user, with no name

// Gives a file, or a link itself, to the user and nobody's group, with the
// mode (a link has none).
void Own(const QString& path, uid_t user, mode_t mode) {
  const QByteArray name = QFile::encodeName(path);
  ::lchown(name.constData(), user, kNobody);
  if (!QFileInfo(path).isSymLink()) ::chmod(name.constData(), mode);
}

// Runs make with root's rights, where the test has kept them; false where
// it has none.
bool AsRoot(const std::function<void()>& make) {
  const uid_t me = ::geteuid();
  if (::seteuid(0) != 0) return false;
  make();
  return ::seteuid(me) == 0;
}

// A user whose primary group is theirs alone, of their name (daemon, on
// most systems): the user the test runs as.
const passwd* PrivateGroupUser() {
  ::setpwent();
  while (const passwd* user = ::getpwent()) {
    const group* own = ::getgrgid(user->pw_gid);
    if (user->pw_uid != 0 && own && std::strcmp(own->gr_name, user->pw_name) == 0 && !*own->gr_mem)
      return user;
  }
  return nullptr;
}

// The text of each line, without its line end, in the file's encoding; a
// byte-order mark at the start is no part of the first line.
QStringList Lines(QByteArray content) {
  const bool utf8 = profile::IsUtf8(content);
  if (content.startsWith("\xEF\xBB\xBF")) content.remove(0, 3);
  QStringList lines;
  for (QByteArray& line : content.split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    lines << (utf8 ? QString::fromUtf8(line) : profile::FromWindows1252(line));
  }
  if (content.endsWith('\n') || content.isEmpty()) lines.removeLast();  // nothing follows
  // What a write of the user name may touch: its lines, the section header.
  lines.removeIf([](const QString& line) {
    const QString t = line.trimmed().toLower();
    return t.startsWith("username") || t == "[pop3]";
  });
  return lines;
}

}  // namespace

class ProfileTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    // As root, file permissions do not bind: run as a user with a private
    // group and a member of nobody's group, which folders are shared with,
    // keeping root as the saved user only to make other users' files, and
    // stay open to the leak checker's ptrace as the change of user would
    // forbid.
    if (::geteuid() != 0) return;
    const passwd* user = PrivateGroupUser();
    QVERIFY(user);
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;
    const gid_t shared = kNobody;
    QVERIFY(::setgroups(1, &shared) == 0 && ::setresgid(gid, gid, 0) == 0 &&
            ::setresuid(uid, uid, 0) == 0 && ::prctl(PR_SET_DUMPABLE, 1) == 0);
  }
  // Root again for the leak checker, which stops the process's threads
  // with ptrace as it ends.
  void cleanupTestCase() {
    if (::getuid() != 0) QVERIFY(::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0);
  }

  void finds() {
    const QByteArray file =
        "; Servername=comment\r\n"
        "Servername=outside any section\r\n"
        "[Other]\r\n"
        "Username=not ours\r\n"
        "[pop3]\r\n"
        "  SERVERNAME  =  mail.example.org  \r\n"
        "Password=a = b \"c\"\r\n"
        "Password=second\r\n"
        "Username=\r\n"
        "[POP3]\r\n"
        "Extra=later section is not read\r\n";
    const auto found = [&](const QString& key) {
      return profile::FindValue(file, "POP3", key).value_or("(none)");
    };
    QCOMPARE(found("Servername"), "mail.example.org");  // case and blanks
    QCOMPARE(found("Password"), "a = b \"c\"");         // = and quotes kept, first wins
    QCOMPARE(found("Username"), "");
    QCOMPARE(found("Extra"), "(none)");
  }

  void writeKeepsEveryOtherByte() {
    const auto with = [](const QByteArray& before, const QString& key, const QString& value) {
      return profile::WithValue(before, "POP3", key, value);
    };
    QCOMPARE(with({}, "Servername", "mail"), "[POP3]\nServername=mail\n");
    // CRLF and comments kept.
    QCOMPARE(with("; mine\r\n[Other]\r\nA=1\r\n\r\n[POP3]\r\nServername=old\r\nUsername=u\r\n",
                  "servername", "new"),
             "; mine\r\n[Other]\r\nA=1\r\n\r\n[POP3]\r\nservername=new\r\nUsername=u\r\n");
    // A key is added before the blank line that ends the section.
    QCOMPARE(with("[POP3]\nServername=s\n\n[Other]\nB=2\n", "Password", "p w=1"),
             "[POP3]\nServername=s\nPassword=p w=1\n\n[Other]\nB=2\n");
    // A section after a last line without line end.
    QCOMPARE(with("[Other]\r\nB=2", "Username", "u"), "[Other]\r\nB=2\r\n[POP3]\r\nUsername=u\r\n");
    // The section is found behind a byte-order mark, and the mark kept.
    QCOMPARE(with("\xEF\xBB\xBF[POP3]\r\nUsername=old\r\n", "Username", "u"),
             "\xEF\xBB\xBF[POP3]\r\nUsername=u\r\n");
    // Line breaks never reach the file.
    QCOMPARE(with("[POP3]\nPassword=old\n", "Password", "a\r\n[X]\nServername=evil"),
             "[POP3]\nPassword=a[X]Servername=evil\n");
  }

  void anyFileAnyValue() {
    // Files of the lines that matter, in any order and with any line ends,
    // and values of any characters: a write changes only the key's line (or
    // adds it, and its section), whichever encoding the file ends in, and a
    // read gives the value back, its blanks included, its line breaks
    // dropped.
    QByteArrayList lines = QByteArray(
                               "[POP3]|[pop3] |[Other]|Username=\xFC| USERNAME = u|Password=p|"
                               "; \xC3\xA4||=|\xEF\xBB\xBF|\x81\"")
                               .split('|');
    lines << QByteArray(1, 0);
    const QByteArrayList ends{"\r\n", "\n", "\r\n", "\n", "\r", ""};
    QStringList characters =
        QString("a| |\t|\"|=|[|\r|\n|\u00e4|\u20ac|\u0141|\U0001F4EB|\uFEFF").split('|');
    characters << QChar(0);
    QRandomGenerator random(20261209);
    for (int round = 0; round < 5000; ++round) {
      QByteArray file;
      for (int n = random.bounded(8); n > 0; --n)
        file += lines[random.bounded(lines.size())] + ends[random.bounded(ends.size())];
      QString value;
      for (int n = random.bounded(6); n > 0; --n)
        value += characters[random.bounded(characters.size())];
      const QByteArray written = profile::WithValue(file, "POP3", "Username", value);
      const auto why = [&] {
        return QByteArray::number(round) + ": " + file.toPercentEncoding() + " with " +
               value.toUtf8();
      };
      QVERIFY2(profile::FindValue(written, "POP3", "Username") ==
                   QString(value).remove('\r').remove('\n'),
               why().constData());
      QVERIFY2(Lines(written) == Lines(file), why().constData());
    }
  }

  void windowsCodePageIsKept() {
    // As Windows writes it: a byte to a character, CRLF, and 0x81, which the
    // code page leaves undefined.
    const QByteArray file = "[POP3]\r\nUsername=J\xFCrgen\r\nPassword=geheim\xE4\r\n; \x80\x81\r\n";
    QCOMPARE(profile::FindValue(file, "POP3", "Username").value_or(""), QString("Jürgen"));
    QCOMPARE(profile::FindValue(file, "POP3", "Password").value_or(""), QString("geheimä"));
    QCOMPARE(profile::WithValue(file, "POP3", "Username", "Jörg€"),
             "[POP3]\r\nUsername=J\xF6rg\x80\r\nPassword=geheim\xE4\r\n; \x80\x81\r\n");
    // A character the code page has not: the whole file becomes UTF-8.
    QCOMPARE(profile::WithValue(file, "POP3", "Username", "Łódź"),
             "[POP3]\r\nUsername=Łódź\r\nPassword=geheim\xC3\xA4\r\n"
             "; \xE2\x82\xAC\xC2\x81\r\n");
  }

  void longValueIsCutWhole() {
    // At 254 UTF-16 units, and never inside a character that takes two.
    const QByteArray astral = "[POP3]\nPassword=" + QByteArray(253, 'x') + "\xf0\x9f\x93\xab\n";
    QCOMPARE(profile::ReadString("POP3", "Password", {}, 255, astral), QString(253, 'x'));
    // The quotes do not count.
    const QByteArray quoted = "[POP3]\nPassword=\"" + QByteArray(254, 'x') + " \"\n";
    QCOMPARE(profile::ReadString("POP3", "Password", {}, 255, quoted), QString(254, 'x'));
  }

  void replaceKeepsWhatTheUserMade() {
    // A config.ini linked elsewhere (relatively, as users link), shared with
    // a group, beside a backup of the user's own and the leftover of a save
    // cut short.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("real"));
    const QString target = dir.filePath("real/config.ini");
    const QString link = dir.filePath("config.ini");
    WriteFile(target, "[POP3]\nUsername=old\n");
    QVERIFY(QFile::link("real/config.ini", link));
    ::chmod(QFile::encodeName(target).constData(), 0640);
    const QStringList kept{"config.ini", "config.ini.backup", "config.ini.saving-abcdef"};
    for (const QString& name : kept.mid(1) + QStringList{".config.ini.saving-Ab12Cd"})
      WriteFile(dir.filePath("real/" + name), "[POP3]\nPassword=old secret\n");

    QVERIFY(!profile::WriteValues("POP3", {{"Username", "new"}}, link));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadFile(target), QByteArray("[POP3]\nUsername=new\n"));
    QCOMPARE(ModeOf(target), mode_t(0640));
    QCOMPARE(QDir(dir.filePath("real")).entryList(QDir::Files | QDir::Hidden), kept);
  }

  void newFileIsTheUsersAloneAndReadOnlyIsRefused() {
    // First the folder is read-only, then the file alone: the folder would
    // allow a rename, but the user's wish for the file counts.
    for (const bool folderReadOnly : {true, false}) {
      QTemporaryDir dir;
      const QString path = dir.filePath("config.ini");
      QVERIFY(!profile::WriteValues("POP3", {{"Password", "kept"}}, path));
      QCOMPARE(ModeOf(path), mode_t(0600));  // it holds a password
      const QByteArray before = ReadFile(path);
      QVERIFY(QFile::setPermissions(folderReadOnly ? dir.path() : path,
                                    QFile::ReadOwner | QFile::ExeOwner));
      const auto failure = profile::WriteValues("POP3", {{"Password", "lost"}}, path);
      QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      QVERIFY(failure && failure->contains("Permission denied"));
      QCOMPARE(ReadFile(path), before);
    }
  }

  void settingsOnlyWhereTheUserAloneMayWrite() {
    // Program folders by their owner and mode, with a config.ini that the
    // folder's owner made (an administrator's defaults), or one linked to
    // another user's file that anyone may write: only the owner check, not
    // the file's permissions, keeps the password out of it.
    enum File { Defaults, OwnLink, ForeignLink };
    const uid_t me = ::geteuid();
    const struct {
      uid_t owner;
      mode_t mode;
      File file;
    } rows[] = {{me, 0500, Defaults},    // installed: the user may not write it
                {0, 0775, Defaults},     // installed, shared with the user's group
                {me, 0770, Defaults},    // the user's own, shared with a group of others
                {0, 0775, ForeignLink},  // shared, and another user linked it
                {me, 0700, OwnLink}};    // the user's own, linked to another's file
    QTemporaryDir dir;
    const QString theirs = dir.filePath("theirs/config.ini");
    const QByteArray prepared = "[POP3]\nServername=mail.example.org\n";
    const bool root = AsRoot([&] {
      QDir(dir.path()).mkdir("theirs");
      WriteFile(theirs, prepared);
      Own(dir.filePath("theirs"), kOther, 0777);
      Own(theirs, kOther, 0666);
    });
    QString own;
    for (int i = 0; i < int(std::size(rows)); ++i) {
      const auto& row = rows[i];
      const QString program = dir.filePath(QString::number(i));
      const QString ini = program + "/config.ini";
      const auto make = [&] {
        QDir(dir.path()).mkdir(QString::number(i));
        if (row.file == Defaults) WriteFile(ini, prepared);
        if (row.file != Defaults) QFile::link(theirs, ini);
        Own(ini, row.file == ForeignLink ? kOther : row.owner, 0644);
        Own(program, row.owner, row.mode);
      };
      if (!AsRoot(make)) {
        // Other users' files, and groups, need root.
        if (row.owner != me || row.file != Defaults || (row.mode & S_IWGRP)) continue;
        make();
      }
      const QString home = dir.filePath("home" + QString::number(i));
      qputenv("XDG_CONFIG_HOME", QFile::encodeName(home));
      own = home + "/tallowin/config.ini";

      QCOMPARE(host::ReadSettings(program), row.file == Defaults ? prepared : QByteArray());
      QVERIFY(!QFileInfo::exists(home));  // a read makes nothing
      QCOMPARE(host::SettingsFileToWrite(program), own);
      QVERIFY(!profile::WriteValues("POP3", {{"Password", "secret"}}, own));
      QCOMPARE(ModeOf(home + "/tallowin"), mode_t(0700));  // the file's 0600 as any new one
      QCOMPARE(ReadFile(row.file == Defaults ? ini : theirs), prepared);
      QCOMPARE(host::ReadSettings(program), ReadFile(own));
      if (row.owner == me) ::chmod(QFile::encodeName(program).constData(), 0700);
    }
    if (!root) return;
    // The user's own folder, writable by their private group (umask 002).
    const QString program = dir.filePath("private");
    QVERIFY(QDir().mkdir(program) && ::chmod(QFile::encodeName(program).constData(), 0775) == 0);
    QCOMPARE(host::SettingsFileToWrite(program), program + "/config.ini");
    // But not where everyone may write.
    QVERIFY(::chmod(QFile::encodeName(program).constData(), 0777) == 0);
    QCOMPARE(host::SettingsFileToWrite(program), own);
    // What is read is checked, not only its path, which may since lead to
    // another user's file.
    QCOMPARE(host::ReadOwnedBy(theirs, {me}), QByteArray());
    // The user's own file, linked to the other's, is neither read nor written.
    QVERIFY(QFile::remove(own) && QFile::link(theirs, own));
    QCOMPARE(host::ReadSettings(dir.filePath("4")), QByteArray());
    const auto failure = profile::WriteValues("POP3", {{"Password", "secret"}}, own);
    QVERIFY(failure && failure->contains("belongs to another user"));
    QCOMPARE(ReadFile(theirs), prepared);
    // Another user's link to a file of the folder's owner is no defaults of
    // the owner's.
    const QString shared = dir.filePath("shared");
    QVERIFY(AsRoot([&] {
      QDir(dir.path()).mkdir("shared");
      WriteFile(shared + "/defaults.ini", prepared);
      QFile::link("defaults.ini", shared + "/config.ini");
      Own(shared + "/defaults.ini", 0, 0644);
      Own(shared + "/config.ini", kOther, 0);
      Own(shared, 0, 0775);
    }));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("fresh")));
    QCOMPARE(host::ReadSettings(shared), QByteArray());
  }

  void killedWriterLeavesOldOrNew() {
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    // Large values make each save long enough to be cut at many points.
    const QString a(200000, 'a');
    const QString b(150000, 'b');
    const QByteArray original = profile::WithValue({}, "POP3", "Password", "original");
    WriteFile(path, original);
    const QList<QByteArray> whole{original, profile::WithValue(original, "POP3", "Password", a),
                                  profile::WithValue(original, "POP3", "Password", b)};

    for (int round = 0; round < 60; ++round) {
      const pid_t child = ::fork();
      QVERIFY(child >= 0);
      if (child == 0) {
        for (int i = 0;; ++i)
          (void)profile::WriteValues("POP3", {{"Password", i % 2 ? b : a}}, path);
      }
      ::usleep(QRandomGenerator::global()->bounded(1000, 30000));
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      const QByteArray now = ReadFile(path);
      QVERIFY2(whole.contains(now),
               qPrintable(QString("round %1: torn file of %2 bytes").arg(round).arg(now.size())));
    }
  }
};

QTEST_GUILESS_MAIN(ProfileTest)
#include "profile_test.moc"
