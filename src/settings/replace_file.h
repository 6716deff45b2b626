// Replacing a file's content in one step.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace profile {

// Writes the content to a temporary file beside the path, flushes it to the
// disk and renames it over the path, so a crash leaves the old file or the
// new one, never a torn one. An existing file keeps its mode; a new one gets
// 0600, since it may hold a password. The reason on failure, when the file
// is as it was.
std::optional<QString> ReplaceFile(const QString& path, const QByteArray& content);

}  // namespace profile
