#include "host/host.h"

#include "host/owner.h"
#include "host/window_group.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

QString AppPath() { return QCoreApplication::applicationDirPath(); }

QString AppFile(const QString& name) { return AppPath() + '/' + name; }

namespace {

// The folder's owner and mode; an owner no user has when it cannot be read.
struct stat FolderStat(const QString& folder) {
  struct stat st {};
  if (::stat(QFile::encodeName(folder).constData(), &st) != 0) st.st_uid = static_cast<uid_t>(-1);
  return st;
}

QString UserSettingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/tallowin/config.ini");
}

QString ProgramSettingsFile(const QString& appDir) {
  return appDir + QStringLiteral("/config.ini");
}

// A user-private group, as umask 002 systems give each user: their
// primary group, of their name, with no other members. Its write is the
// user's alone.
bool UsersPrivateGroup(gid_t gid) {
  const passwd* user = ::getpwuid(::geteuid());
  const group* group = ::getgrgid(gid);
  if (!user || !group || user->pw_gid != gid || std::strcmp(group->gr_name, user->pw_name) != 0)
    return false;
  for (char** member = group->gr_mem; *member; ++member)
    if (std::strcmp(*member, user->pw_name) != 0) return false;
  return true;
}

// Only a folder that is the user's alone may hold the password: in one
// that others may write, another user could link config.ini to a file of
// theirs, and the next save would write the password there.
bool ProgramHoldsSettings(const QString& appDir) {
  const struct stat folder = FolderStat(appDir);
  const bool othersWrite = (folder.st_mode & S_IWOTH) != 0 ||
                           ((folder.st_mode & S_IWGRP) != 0 && !UsersPrivateGroup(folder.st_gid));
  return folder.st_uid == ::geteuid() && !othersWrite &&
         ::access(QFile::encodeName(appDir).constData(), W_OK) == 0 &&
         !NotOwnedBy(ProgramSettingsFile(appDir), {::geteuid()});
}

// The icon directory's header: reserved 0, then type 1 (icon) or 2 (cursor).
bool IconFile(const QByteArray& file) {
  static const QByteArray icon("\0\0\1\0", 4), cursor("\0\0\2\0", 4);
  return file.startsWith(icon) || file.startsWith(cursor);
}

// A file to read the settings from, and who may own it.
struct Source {
  QString file;
  QList<uid_t> owners;
};

Source SettingsSource(const QString& appDir) {
  const uid_t me = ::geteuid();
  if (ProgramHoldsSettings(appDir)) return {ProgramSettingsFile(appDir), {me}};
  const QString user = UserSettingsFile();
  if (QFileInfo::exists(user) && !NotOwnedBy(user, {me})) return {user, {me}};
  // The defaults are the folder owner's (or the user's own, from before the
  // folder was shared), never those of whoever else may write there.
  const Source defaults{ProgramSettingsFile(appDir), {me, FolderStat(appDir).st_uid}};
  return NotOwnedBy(defaults.file, defaults.owners) ? Source{} : defaults;
}

}  // namespace

QByteArray ReadSettings(const QString& appDir) {
  // Checked again on the file opened: in a folder others may write, the
  // path may lead to another file by now.
  const Source source = SettingsSource(appDir);
  return ReadOwnedBy(source.file, source.owners);
}

QString SettingsFile(const QString& appDir) {
  return ProgramHoldsSettings(appDir) ? ProgramSettingsFile(appDir) : UserSettingsFile();
}

QString SettingsFileToWrite(const QString& appDir) {
  const QString file = SettingsFile(appDir);
  if (file != UserSettingsFile()) return file;
  const QString folder = QFileInfo(file).path();
  QDir().mkpath(QFileInfo(folder).path());
  ::mkdir(QFile::encodeName(folder).constData(), 0700);
  return file;
}

float TwipsPerPixelX() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
  return static_cast<float>(1440.0 / dpi);
}

QRect TwipsToPixels(int left, int top, int width, int height, float twipsPerPixel) {
  auto px = [twipsPerPixel](int twips) {
    return static_cast<int>(std::lround(twips / twipsPerPixel));
  };
  return QRect(px(left), px(top), px(width), px(height));
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QIcon> LoadPicture(const QByteArray& file) {
  // QIcon loads lazily and never fails, so read the pictures here to know.
  // Every size in the file is kept: a panel takes the one it shows, and a
  // 2x screen is not given a small one scaled up.
  QBuffer buffer;
  buffer.setData(file);
  QImageReader reader(&buffer);
  if (IconFile(file)) {
    // Told only the format, the reader would still load and ask every image
    // plugin before the icon one, the SVG one with all of Qt SVG.
    reader.setFormat("ico");
    reader.setAutoDetectImageFormat(false);
  }
  QIcon icon;
  do {
    const QImage image = reader.read();
    if (image.isNull()) break;
    icon.addPixmap(QPixmap::fromImage(image));
  } while (reader.jumpToNextImage());
  if (icon.isNull()) return std::nullopt;
  return icon;
}

void Host::MsgBox(const QString& prompt) {
  QMessageBox box(QMessageBox::Critical, AppTitle, prompt, QMessageBox::Ok);
  // A box may quote a server: its words are shown as they are, never as
  // markup (links, pictures) that Qt would guess at.
  box.setTextFormat(Qt::PlainText);
  // The poll at the minimise shows its box while the window is minimised:
  // outside the window's group, the box does not bring the window back.
  OwnWindowGroup(box);
  box.exec();
}

void Host::End(int exitCode) {
  // Unwinding nested event loops would let queued events run first. Only
  // the program's own streams are flushed: flushing every stream would wait
  // for the lock of one that a library's thread holds while it waits for
  // its server.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(exitCode);
}

void Host::RuntimeError(const QString& what) {
  MsgBox(what);
  End(EXIT_FAILURE);
}

}  // namespace host
