#include "pop3/stat_reply.h"

#include <limits>

namespace modPOP3 {
namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

QByteArrayView TrimmedStart(QByteArrayView text) {
  while (!text.isEmpty() && IsWhite(text.front())) text = text.sliced(1);
  return text;
}

// Decimal digits with white space around them, as a signed 32-bit value.
std::optional<qint32> ParseCount(QByteArrayView text) {
  text = TrimmedStart(text);
  while (!text.isEmpty() && IsWhite(text.back())) text.chop(1);
  if (text.isEmpty()) return std::nullopt;
  qint64 value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<qint32>::max()) return std::nullopt;
  }
  return static_cast<qint32>(value);
}

}  // namespace

std::optional<qint32> ParseStatReply(QByteArrayView data) {
  constexpr qsizetype kCountStart = 4;  // position 5, counted from 1
  if (data.size() <= kCountStart) return std::nullopt;
  const qsizetype blank = data.indexOf(' ', kCountStart);
  if (blank < 0) return std::nullopt;
  const QByteArrayView size = TrimmedStart(data.sliced(blank + 1));
  if (size.isEmpty() || !IsDigit(size.front())) return std::nullopt;
  return ParseCount(data.sliced(kCountStart, blank - kCountStart));
}

}  // namespace modPOP3
