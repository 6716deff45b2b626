// What the tests of the mail count query share: the messages a user sees,
// and a one-chunk reply for the scripted server.
#pragma once

#include "scripted_server.h"

#include <QString>

inline const QString kConnecting = "Error: Connecting to POP3 Server";
inline const QString kUsername = "Error: Sending Username to POP3 Server";
inline const QString kPassword = "Error: Sending Password to POP3 Server";
inline const QString kReading = "Error: Reading amount of mails on POP3 Server";

inline Reply Line(const QByteArray& bytes,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
  return {Chunk{delay, bytes}};
}

Q_DECLARE_METATYPE(QList<Reply>)
