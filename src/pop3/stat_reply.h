// The reply to STAT: "+OK", a blank, the message count, a blank, the size,
// and perhaps more text after it.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

namespace modPOP3 {

// Reads the count from position 5 up to the next blank; after that blank a
// size must begin. Positions 1 to 4 are taken to hold "+OK " and are not
// examined. Nothing when the count is missing, is not a plain decimal
// number or does not fit a signed 32-bit integer, or when no size digit
// follows: a reply that cannot be read must never pass for a count. The
// size itself is not needed, so a mailbox of any size and any text after
// the size are accepted.
std::optional<qint32> ParseStatReply(QByteArrayView data);

}  // namespace modPOP3
