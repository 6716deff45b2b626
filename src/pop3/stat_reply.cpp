#include "pop3/stat_reply.h"

#include <limits>

namespace modPOP3 {
namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Decimal digits with white space around them, as a signed 32-bit value.
std::optional<qint32> ParseNumber(QByteArrayView text) {
  while (!text.isEmpty() && IsWhite(text.front())) text = text.sliced(1);
  while (!text.isEmpty() && IsWhite(text.back())) text.chop(1);
  if (text.isEmpty()) return std::nullopt;
  qint64 value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<qint32>::max()) return std::nullopt;
  }
  return static_cast<qint32>(value);
}

}  // namespace

std::optional<StatReply> ParseStatReply(QByteArrayView data) {
  constexpr qsizetype kCountStart = 4;  // position 5, counted from 1
  if (data.size() <= kCountStart) return std::nullopt;
  const qsizetype blank = data.indexOf(' ', kCountStart);
  if (blank < 0) return std::nullopt;
  const auto count = ParseNumber(data.sliced(kCountStart, blank - kCountStart));
  const auto size = ParseNumber(data.sliced(blank + 1));
  if (!count || !size) return std::nullopt;
  return StatReply{*count, *size};
}

}  // namespace modPOP3
