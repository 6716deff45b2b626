#include "settings/replace_file.h"

#include "host/owner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace profile {
namespace {

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Hidden, and named so that no file of the user's can match the pattern
// its leftovers are cleared by.
QString TempPattern(const QFileInfo& target) {
  return QStringLiteral(".%1.saving-").arg(target.fileName());
}

void RemoveLeftovers(const QFileInfo& target) {
  QDir dir = target.absoluteDir();
  const QStringList names =
      dir.entryList({TempPattern(target) + "??????"}, QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& name : names) dir.remove(name);
}

bool WriteAll(int fd, const QByteArray& content) {
  const char* data = content.constData();
  qsizetype left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    left -= n;
  }
  return true;
}

// Gives the new file what the old one, the user's own, had; its group only
// as far as the process may (an ordinary user can keep a group they belong
// to).
int KeepAttributes(int fd, const struct stat& old) {
  [[maybe_unused]] const int group = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
}

}  // namespace

std::optional<QString> ReplaceFile(const QString& path, const QByteArray& content) {
  // Where another user made the file or a link on the way, they chose
  // where it leads, and would read what is written.
  const auto end = host::FollowLinks(path, {::geteuid()});
  if (!end) return Reason(ELOOP);
  if (end->foreign) return QStringLiteral("%1 belongs to another user").arg(end->path);
  const QFileInfo info(end->path);
  const QByteArray target = QFile::encodeName(info.absoluteFilePath());
  struct stat old {};
  const bool exists = ::stat(target.constData(), &old) == 0;
  // The rename needs only the folder; a file made read-only stays as it is.
  if (exists && ::access(target.constData(), W_OK) != 0) return Reason(errno);

  RemoveLeftovers(info);
  QByteArray temp = QFile::encodeName(info.absoluteDir().filePath(TempPattern(info))) + "XXXXXX";
  const int fd = ::mkstemp(temp.data());  // created 0600
  if (fd < 0) return Reason(errno);

  int error = exists ? KeepAttributes(fd, old) : 0;
  if (!error && !WriteAll(fd, content)) error = errno ? errno : EIO;
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(temp.constData(), target.constData()) != 0) error = errno;
  if (error) {
    ::unlink(temp.constData());
    return Reason(error);
  }
  // Make the rename itself durable.
  const QByteArray dir = QFile::encodeName(info.absolutePath());
  const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return std::nullopt;
}

}  // namespace profile
