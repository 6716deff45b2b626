// The two ways the program is told to end from outside: a signal, and the
// end of the desktop session. Each reaches the program as an event of its
// event loop, so it can end in order instead of being cut off mid-step.
#pragma once

#include <functional>

class QObject;

namespace host {

// Calls onSignal from the event loop, also inside a nested one, when one of
// the signals arrives. The notifier lives as long as parent.
void OnTerminationSignal(QObject& parent, std::function<void()> onSignal);

// Calls onEnd when the session manager ends the program (it then asks the
// application to quit). Its earlier requests to save state, which come at
// every checkpoint of the session and also before a logout that may still
// be cancelled, are not an end. The filter lives as long as parent.
// Each of those requests also tells the session manager never to restart
// the program: a restored copy would come beside the one the autostart
// entry starts, and without --minimized.
void OnSessionEnd(QObject& parent, std::function<void()> onEnd);

}  // namespace host
