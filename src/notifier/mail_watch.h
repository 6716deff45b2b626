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
  // One poll of the mailbox: the count, or -1 when there is none (a failure,
  // already shown, or a server that said "not now").
  using Poll = std::function<qint32()>;

  explicit MailWatch(Poll poll) : poll_(std::move(poll)) {}

  // The window has been minimised: a baseline is owed, paid by the first
  // poll that starts after this, with the fields as they are then: at once,
  // or as soon as the poll under way has ended, or as soon as the network is
  // back. Never by a poll already under way: it may have started before the
  // user restored the window and typed another account.
  void Minimised();
  // The window has been shown again: the baseline still owed is no longer.
  void Restored() { baselineOwed_ = false; }
  // A timer tick while minimised; nothing when no poll was made (one is
  // under way, or there is no network) or when its count was not compared
  // (a minimise came meanwhile and its baseline was taken instead).
  std::optional<Outcome> Tick();
  // What the system says of the network: false while there is none at all.
  // No poll is tried then; its return pays a baseline that is owed.
  void NetworkChanged(bool online);

  // The remembered count; nothing while no poll has given one since the
  // last minimise.
  std::optional<qint32> LastMailCount() const { return lastMailCount_; }

 private:
  qint32 PollOnce();
  // Takes the baseline owed, when it can be taken now; the one place that
  // decides which poll pays it.
  void PayBaseline();

  Poll poll_;
  bool polling_ = false;
  bool online_ = true;
  bool baselineOwed_ = false;
  std::optional<qint32> lastMailCount_ = 0;
};
