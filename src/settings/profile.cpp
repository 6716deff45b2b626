#include "settings/profile.h"

#include "settings/code_page.h"
#include "settings/replace_file.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace profile {
namespace {

struct Line {
  qsizetype begin;    // offset of the line's first byte
  qsizetype textEnd;  // offset just past its text, before the line end
  qsizetype end;      // offset just past its line end
};

// A Windows editor may start the file with a UTF-8 byte-order mark: it is
// kept, but is no part of the first line.
qsizetype MarkLength(const QByteArray& content) {
  return content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

QList<Line> SplitLines(const QByteArray& content) {
  QList<Line> lines;
  qsizetype begin = MarkLength(content);
  while (begin < content.size()) {
    const qsizetype lf = content.indexOf('\n', begin);
    const qsizetype end = lf < 0 ? content.size() : lf + 1;
    qsizetype textEnd = lf < 0 ? content.size() : lf;
    if (textEnd > begin && content[textEnd - 1] == '\r') --textEnd;
    lines.append({begin, textEnd, end});
    begin = end;
  }
  return lines;
}

// A file is UTF-8 when it can be; anything else was written in the
// Windows code page, as the Windows original writes its files.
enum class Encoding { Utf8, Windows1252 };

Encoding EncodingOf(const QByteArray& content) {
  return IsUtf8(content) ? Encoding::Utf8 : Encoding::Windows1252;
}

QString Decode(QByteArrayView bytes, Encoding encoding) {
  if (encoding == Encoding::Windows1252) return FromWindows1252(bytes);
  // A value may begin with U+FEFF, which a plain UTF-8 decode would take
  // for a byte-order mark and drop.
  QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return decode(bytes);
}

// The whole file in UTF-8, every line's text as it was; the byte-order
// mark, if the file began with one, stays.
QByteArray ToUtf8(const QByteArray& content) {
  const qsizetype mark = MarkLength(content);
  return content.first(mark) + FromWindows1252(QByteArrayView(content).sliced(mark)).toUtf8();
}

bool IsBlank(QChar c) { return c == ' ' || c == '\t'; }

// A value with blanks at its ends, or in quotes of its own, goes inside one
// pair of quotes, which the reader takes off: blanks around a bare value
// are no part of it, here as on Windows.
QString Quoted(const QString& value) {
  const bool quote = !value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                          (value.startsWith('"') && value.endsWith('"')));
  return quote ? '"' + value + '"' : value;
}

QString Unquoted(const QString& value) {
  if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
    return value.sliced(1, value.size() - 2);
  return value;
}

QByteArrayView Trimmed(QByteArrayView text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.isEmpty() && blank(text.front())) text = text.sliced(1);
  while (!text.isEmpty() && blank(text.back())) text.chop(1);
  return text;
}

bool SameName(QByteArrayView name, const QString& wanted, Encoding encoding) {
  return Decode(name, encoding).compare(wanted, Qt::CaseInsensitive) == 0;
}

// The section a header line opens, or nothing for any other line.
std::optional<QByteArrayView> SectionName(QByteArrayView text) {
  text = Trimmed(text);
  if (!text.startsWith('[')) return std::nullopt;
  const qsizetype close = text.indexOf(']');
  if (close < 0) return std::nullopt;
  return Trimmed(text.sliced(1, close - 1));
}

struct KeyLine {
  QByteArrayView key;
  QByteArrayView value;
};

std::optional<KeyLine> SplitKeyLine(QByteArrayView text) {
  const QByteArrayView trimmed = Trimmed(text);
  if (trimmed.startsWith(';')) return std::nullopt;
  const qsizetype equals = text.indexOf('=');
  if (equals < 0) return std::nullopt;
  return KeyLine{Trimmed(text.first(equals)), Trimmed(text.sliced(equals + 1))};
}

// Where a section and a key stand in the file.
struct Place {
  std::optional<qsizetype> sectionLine;  // the section's header
  qsizetype lastContentLine = -1;        // last non-blank line of the section
  std::optional<qsizetype> keyLine;
};

Place Locate(const QByteArray& content, const QList<Line>& lines, const QString& section,
             const QString& key, Encoding encoding) {
  Place place;
  bool inSection = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArrayView text =
        QByteArrayView(content).sliced(lines[i].begin, lines[i].textEnd - lines[i].begin);
    if (const auto name = SectionName(text)) {
      // Only the first section of that name counts, as for the key.
      if (place.sectionLine) break;
      inSection = SameName(*name, section, encoding);
      if (inSection) {
        place.sectionLine = i;
        place.lastContentLine = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (!Trimmed(text).isEmpty()) place.lastContentLine = i;
    const auto keyLine = SplitKeyLine(text);
    if (keyLine && SameName(keyLine->key, key, encoding)) {
      place.keyLine = i;
      break;
    }
  }
  return place;
}

QByteArray LineEndOf(const QByteArray& content) {
  const qsizetype lf = content.indexOf('\n');
  return lf > 0 && content[lf - 1] == '\r' ? "\r\n" : "\n";
}

// What ends the text before offset end, so a line can follow: nothing after
// a line end, LF after a bare CR, else the file's own line end.
QByteArray EndLineAt(const QByteArray& content, qsizetype end, const QByteArray& eol) {
  if (end == MarkLength(content) || content[end - 1] == '\n') return {};
  return content[end - 1] == '\r' ? QByteArray("\n") : eol;
}

bool IsAscii(QByteArrayView bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
}

// The content with the key's line, already encoded as the file is: in
// place of the key's old line, or at the end of its section, or in a new
// section at the end.
QByteArray WithLine(const QByteArray& content, Encoding encoding, const QString& section,
                    const QString& key, const QByteArray& keyText) {
  const QByteArray eol = LineEndOf(content);
  const QList<Line> lines = SplitLines(content);
  const Place place = Locate(content, lines, section, key, encoding);
  QByteArray out = content;
  if (place.keyLine) {
    const Line& line = lines[*place.keyLine];
    return out.replace(line.begin, line.textEnd - line.begin, keyText);
  }
  if (place.sectionLine) {
    const qsizetype at = lines[place.lastContentLine].end;
    return out.insert(at, EndLineAt(content, at, eol) + keyText + eol);
  }
  return out + EndLineAt(content, content.size(), eol) + '[' + section.toLatin1() + ']' + eol +
         keyText + eol;
}

}  // namespace

std::optional<QString> FindValue(const QByteArray& content, const QString& section,
                                 const QString& key) {
  const Encoding encoding = EncodingOf(content);
  const QList<Line> lines = SplitLines(content);
  const Place place = Locate(content, lines, section, key, encoding);
  if (!place.keyLine) return std::nullopt;
  const Line& line = lines[*place.keyLine];
  const QByteArrayView text = QByteArrayView(content).sliced(line.begin, line.textEnd - line.begin);
  return Unquoted(Decode(SplitKeyLine(text)->value, encoding));
}

QByteArray WithValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& value) {
  QString clean = value;
  clean.remove('\r').remove('\n');
  const QString keyText = key + '=' + Quoted(clean);
  if (EncodingOf(content) == Encoding::Utf8)
    return WithLine(content, Encoding::Utf8, section, key, keyText.toUtf8());
  if (const auto bytes = ToWindows1252(keyText)) {
    // The file stays in the code page, unless it could then pass for UTF-8
    // and its other lines be read otherwise.
    const QByteArray out = WithLine(content, Encoding::Windows1252, section, key, *bytes);
    if (!IsUtf8(out) || IsAscii(out)) return out;
  }
  // Rather than lose a character, the whole file becomes UTF-8, so that it
  // stays in one encoding.
  return WithLine(ToUtf8(content), Encoding::Utf8, section, key, keyText.toUtf8());
}

QString ReadString(const QString& section, const QString& key, const QString& defaultValue,
                   int capacity, const QByteArray& content) {
  const std::optional<QString> value = FindValue(content, section, key);
  if (!value) return defaultValue;
  qsizetype keep = std::min<qsizetype>(value->size(), capacity - 1);
  // Never split a character that needs two UTF-16 units.
  if (keep > 0 && keep < value->size() && value->at(keep - 1).isHighSurrogate()) --keep;
  return value->first(keep);
}

std::optional<QString> WriteValues(const QString& section, const Values& values,
                                   const QString& path) {
  QFile file(path);
  QByteArray content;
  if (file.exists()) {
    // A file we cannot read must not be replaced by one holding only our key.
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    content = file.readAll();
    if (file.error() != QFileDevice::NoError) return file.errorString();
  }
  for (const auto& [key, value] : values) content = WithValue(content, section, key, value);
  return ReplaceFile(path, content);
}

}  // namespace profile
