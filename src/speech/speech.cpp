#include "speech/speech.h"

#include <libspeechd.h>

#include <csignal>
#include <cstdlib>

namespace modSpeech {
namespace {

SPDConnection* Voice = nullptr;

// Opens a connection; sets the reason when it cannot.
SPDConnection* Connect(QString& why) {
  char* error = nullptr;
  SPDConnection* connection =
      spd_open2("tallowin", "main", nullptr, SPD_MODE_SINGLE, nullptr, 1 /*autospawn*/, &error);
  if (!connection) {
    why = QStringLiteral("Error: No speech server could be reached");
    if (error) why += QStringLiteral("\n") + QString::fromLocal8Bit(error);
  }
  std::free(error);
  return connection;
}

}  // namespace

std::optional<QString> InitVoice() {
  // The library writes to its socket with plain write(): a server that has
  // gone away would otherwise kill the program with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  QString why;
  Voice = Connect(why);
  if (!Voice) return why;
  return std::nullopt;
}

std::optional<QString> Say(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  if (Voice && spd_say(Voice, SPD_MESSAGE, utf8.constData()) >= 0) return std::nullopt;
  // The library never reconnects by itself.
  ReleaseVoice();
  QString why;
  Voice = Connect(why);
  if (!Voice) return why;
  if (spd_say(Voice, SPD_MESSAGE, utf8.constData()) < 0)
    return QStringLiteral("Error: The speech server did not take the announcement");
  return std::nullopt;
}

void ReleaseVoice() {
  if (Voice) spd_close(Voice);
  Voice = nullptr;
}

}  // namespace modSpeech
