// The spoken announcement, through the desktop's speech server.
#pragma once

#include <QString>

#include <optional>

namespace modSpeech {

// Connects to the speech server, starting it when none runs. The reason
// when no speech server can be reached.
[[nodiscard]] std::optional<QString> InitVoice();

// Queues the text in the default voice, rate and volume and returns at once;
// a text still being spoken is not cut short. If the server has gone away,
// connects once more and tries again. The reason when that fails too.
[[nodiscard]] std::optional<QString> Say(const QString& text);

// Drops the connection; what is queued is still spoken.
void ReleaseVoice();

}  // namespace modSpeech
