// Who a file belongs to, link by link: a symbolic link that another user
// made, or one that leads to their file, would carry a save (and the
// password in it) to where they can read it.
#pragma once

#include <QString>

#include <sys/types.h>

#include <initializer_list>
#include <optional>

namespace host {

// The first of the symbolic links on the way to the file, and the file
// itself, that belongs to none of the users; nothing when each does, or
// when the way ends at no file (a missing one, or a loop).
std::optional<QString> NotOwnedBy(const QString& path, std::initializer_list<uid_t> users);

}  // namespace host
