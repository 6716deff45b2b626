// An INI ("private profile") file that the program shares with its user:
// reads one key, writes one key, and leaves every other byte alone.
//
// Section and key names match without regard to letter case; blanks around
// a value are not part of it, so a value with blanks at its ends, or in
// quotes of its own, is written inside one pair of double quotes, which
// reading takes off, as Windows does; values are otherwise stored as they
// are. The file has either line end. It is UTF-8, perhaps with a byte-order
// mark, when it is valid UTF-8, and otherwise in the Windows-1252 code page,
// which a write keeps unless a value needs a character outside it: then the
// whole file becomes UTF-8.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace profile {

// The value of the first matching key in the first matching section.
std::optional<QString> FindValue(const QByteArray& content, const QString& section,
                                 const QString& key);

// The content with the key set to the value: its line replaced, or added at
// the end of the section, or added with a new section at the end of the file.
// Every other line keeps its bytes and line end (or, when the file had to
// become UTF-8, its text). CR and LF are dropped from the value, since they
// would start lines of their own.
QByteArray WithValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& value);

// The key's value in the file's content, cut to capacity - 1 characters;
// the default when the section or the key is missing.
QString ReadString(const QString& section, const QString& key, const QString& defaultValue,
                   int capacity, const QByteArray& content);

// Key and value pairs, set in their order.
using Values = QList<std::pair<QString, QString>>;

// Sets the keys in the file, creating it (mode 0600) when missing. The file
// is replaced in one step, so it holds all the old values or all the new
// ones. The reason when it could not be written; the file is then as it was.
std::optional<QString> WriteValues(const QString& section, const Values& values,
                                   const QString& path);

}  // namespace profile
