// The reply to STAT: "+OK", a blank, the message count, a blank, the size.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

namespace modPOP3 {

struct StatReply {
  qint32 count;
  qint32 size;
};

// Reads the count from position 5 up to the next blank and the size from
// everything after that blank. Positions 1 to 4 are taken to hold "+OK "
// and are not examined. Nothing when either number is missing, is not
// a plain decimal number or does not fit a signed 32-bit integer: a
// reply that cannot be read must never pass for a count.
std::optional<StatReply> ParseStatReply(QByteArrayView data);

}  // namespace modPOP3
