// Who a file belongs to, link by link: a symbolic link that another user
// made, or one that leads to their file, would carry a save (and the
// password in it) to where they can read it, or plant their settings.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

#include <optional>

namespace host {

// Where a chain of symbolic links from a path ends.
struct LinkEnd {
  QString path;  // the file it leads to (perhaps a missing one), or the hop that is foreign
  bool foreign;  // a link on the way, or the file, belongs to none of the users
};

// Follows the links from path, stopping at the first one, or the file,
// that belongs to none of the users; nothing for a loop. One walk serves
// both the check and the write, so what is checked is what is written.
std::optional<LinkEnd> FollowLinks(const QString& path, const QList<uid_t>& users);

// The first hop on the way to the file that belongs to none of the users;
// nothing when each does, or when the way ends at no file or in a loop.
std::optional<QString> NotOwnedBy(const QString& path, const QList<uid_t>& users);

// The content of the regular file at path, when the file opened belongs to
// one of the users; empty otherwise. The owner is that of what was opened,
// which another user may have put in place of what a check by path saw.
QByteArray ReadOwnedBy(const QString& path, const QList<uid_t>& users);

}  // namespace host
