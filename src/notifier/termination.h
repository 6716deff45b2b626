// SIGTERM, SIGHUP and SIGINT, turned into an event of the event loop, so
// the program can end in order instead of being cut off mid-step.
#pragma once

#include <functional>

class QObject;

namespace host {

// Calls onSignal from the event loop, also inside a nested one, when one of
// the signals arrives. The notifier lives as long as parent.
void OnTerminationSignal(QObject& parent, std::function<void()> onSignal);

}  // namespace host
