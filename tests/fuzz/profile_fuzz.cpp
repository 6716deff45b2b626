// Any file content and any value: a write changes only our key's line (or
// adds it, and its section), and a read gives the value back.
#include "settings/code_page.h"
#include "settings/profile.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

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
  return lines;
}

// What a write may touch: lines naming the key, and the section header.
bool Ours(const QString& line) {
  const QString t = line.trimmed().toLower();
  return t.startsWith("username") || t == "[pop3]";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte splits the input into the file and the value.
  if (size == 0) return 0;
  const std::size_t split = data[0] % (size);
  const QByteArray content(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(split > 0 ? split - 1 : 0));
  const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data + split),
                                          static_cast<qsizetype>(size - split));

  const QByteArray written = profile::WithValue(content, "POP3", "Username", value);

  // The value as written, blanks at its ends included, but no line breaks.
  const QString expected = QString(value).remove('\r').remove('\n');
  const auto read = profile::FindValue(written, "POP3", "Username");
  if (!read || *read != expected) std::abort();

  // Every other line keeps its text, whichever encoding the file ends in.
  QStringList before = Lines(content);
  QStringList after = Lines(written);
  before.removeIf(Ours);
  after.removeIf(Ours);
  if (before != after) std::abort();
  return 0;
}
