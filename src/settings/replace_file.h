// Replacing a file's content in one step.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace profile {

// Writes the content to a temporary file beside the file, flushes it to the
// disk and renames it over the file, so a crash leaves the old content or
// the new, never a torn one. A symbolic link is written through and kept.
// A file, or a link on the way to it, that belongs to another user is
// refused. An existing file keeps its mode and, where the process may set
// it, its group; one that may not be written is refused, as a write to
// it would be. A new file gets 0600, since it may hold a password. The
// reason on failure, when the file is as it was. A temporary file that an
// interrupted replace left behind is removed by the next one.
std::optional<QString> ReplaceFile(const QString& path, const QByteArray& content);

}  // namespace profile
