// Any bytes as a status reply: no crash, and a count only when the reply
// really holds it.
#include "pop3/stat_reply.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto parsed = modPOP3::ParseStatReply(reply);
  if (!parsed) return 0;
  // The count stands from position 5 up to the first blank after it.
  const QByteArray countText = reply.mid(4, reply.indexOf(' ', 4) - 4).trimmed();
  if (parsed->count < 0 || parsed->size < 0 || countText.toLongLong() != parsed->count ||
      !reply.contains(QByteArray::number(parsed->size)))
    std::abort();
  return 0;
}
