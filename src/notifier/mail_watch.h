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

  // The window has been minimised: take a fresh baseline. Every minimise
  // asks for one, and the first poll to end after it, its own or one
  // already under way, gives it: a minimise, a restore and a minimise again
  // in the middle of a poll are still one baseline, taken once.
  void Minimised();
  // A timer tick while minimised; nothing when a poll is still under way
  // (it waits for the server or shows its error).
  std::optional<Outcome> Tick();

  // The remembered count; nothing while no poll has given one since the
  // last minimise.
  std::optional<qint32> LastMailCount() const { return lastMailCount_; }

 private:
  // A poll that did not run, because one is under way, is not a failed one.
  enum class Ran { Skipped, Failed, Counted };
  struct Result {
    Ran ran;
    qint32 count = 0;  // when counted
  };
  Result PollOnce();
  // What an ended poll means, after whatever happened while it waited.
  Outcome Take(const Result& polled);

  Poll poll_;
  bool polling_ = false;
  // A minimise has come since the last poll ended.
  bool baselineWanted_ = false;
  std::optional<qint32> lastMailCount_ = 0;
};
