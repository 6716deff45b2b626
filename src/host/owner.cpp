#include "host/owner.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>

namespace host {

std::optional<QString> NotOwnedBy(const QString& path, std::initializer_list<uid_t> users) {
  constexpr int kMaxLinks = 40;  // as the kernel allows
  QString hop = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st {};
    if (::lstat(QFile::encodeName(hop).constData(), &st) != 0) return std::nullopt;
    if (std::find(users.begin(), users.end(), st.st_uid) == users.end()) return hop;
    if (!S_ISLNK(st.st_mode)) return std::nullopt;
    hop = QFileInfo(hop).symLinkTarget();
  }
  return std::nullopt;
}

}  // namespace host
