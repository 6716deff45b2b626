// Any bytes as a status reply: no crash, and a count only when the reply
// really holds it.
#include "pop3/stat_reply.h"

#include <QByteArray>

#include <cctype>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto count = modPOP3::ParseStatReply(reply);
  if (!count) return 0;
  // The count stands from position 5 up to the first blank after it, and a
  // size digit follows that blank.
  const qsizetype blank = reply.indexOf(' ', 4);
  const QByteArray countText = reply.mid(4, blank - 4).trimmed();
  const QByteArray sizeText = reply.mid(blank + 1).trimmed();
  if (*count < 0 || countText.toLongLong() != *count || sizeText.isEmpty() ||
      !std::isdigit(static_cast<unsigned char>(sizeText.front())))
    std::abort();
  return 0;
}
