#include "host/owner.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

std::optional<LinkEnd> FollowLinks(const QString& path, const QList<uid_t>& users) {
  constexpr int kMaxLinks = 40;  // as the kernel allows
  QString hop = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st {};
    if (::lstat(QFile::encodeName(hop).constData(), &st) != 0) return LinkEnd{hop, false};
    if (!users.contains(st.st_uid)) return LinkEnd{hop, true};
    if (!S_ISLNK(st.st_mode)) return LinkEnd{hop, false};
    hop = QFileInfo(hop).symLinkTarget();
  }
  return std::nullopt;
}

std::optional<QString> NotOwnedBy(const QString& path, const QList<uid_t>& users) {
  const auto end = FollowLinks(path, users);
  if (end && end->foreign) return end->path;
  return std::nullopt;
}

QByteArray ReadOwnedBy(const QString& path, const QList<uid_t>& users) {
  // Without blocking: a pipe in the file's place would hold the open until
  // someone wrote to it.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {};
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return {};
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !users.contains(st.st_uid)) return {};
  return file.readAll();
}

}  // namespace host
