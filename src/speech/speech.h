// The spoken announcement, through the desktop's speech server.
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace modSpeech {

// Connects to the speech server, starting it when none runs; the reason when
// no speech server can be reached or none answers within 5 seconds. The
// event loop runs meanwhile, so a termination signal is still served. A
// later failure to speak is handed to onFailure on the thread of the event
// loop.
[[nodiscard]] std::optional<QString> InitVoice(std::function<void(const QString& why)> onFailure);

// Queues the text in the default voice, rate and volume and returns at once,
// without waiting even for the server: a text still being spoken is not cut
// short. If the server has gone away, a connection is made once more; when
// that fails too, onFailure learns why. Nothing happens without a voice.
void Say(const QString& text);

// Drops the connection once the texts handed over are with the server, which
// still speaks them; a server that does not take them within half a second
// is not waited for.
void ReleaseVoice();

}  // namespace modSpeech
