// Whether new mail has come, decided poll by poll and free of any widget.
//
// The count taken when the window is minimised is the baseline. A later
// count above it is new mail, announced at every tick until the server's
// count is no longer above it; a count at or below it becomes the baseline.
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

class MailWatch {
 public:
  // What a tick found; new mail is shown and announced.
  enum class Outcome { NoNewMail, NewMail };
  // One poll of the mailbox: the count, or -1 once the failure has been shown.
  using Poll = std::function<qint32()>;

  explicit MailWatch(Poll poll) : poll_(std::move(poll)) {}

  // The window has been minimised: take a fresh baseline.
  void Minimised();
  // A timer tick while minimised; nothing when a poll is still under way
  // (it waits for the server or shows its error), since there is one socket.
  std::optional<Outcome> Tick();

  // The remembered count; nothing while no poll has given one since the
  // last minimise.
  std::optional<qint32> LastMailCount() const { return lastMailCount_; }

 private:
  std::optional<qint32> PollOnce();

  Poll poll_;
  bool polling_ = false;
  std::optional<qint32> lastMailCount_ = 0;
};
