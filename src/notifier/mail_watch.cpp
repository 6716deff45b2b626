#include "notifier/mail_watch.h"

#include <utility>

MailWatch::Result MailWatch::PollOnce() {
  if (polling_) return {Ran::Skipped};
  polling_ = true;
  const qint32 count = poll_();
  polling_ = false;
  if (count < 0) return {Ran::Failed};
  return {Ran::Counted, count};
}

void MailWatch::Minimised() {
  const Result polled = PollOnce();
  switch (polled.ran) {
    case Ran::Skipped:
      // The poll under way is as fresh as one of our own would be.
      baselineWanted_ = true;
      break;
    case Ran::Failed:
      // A failed baseline is no baseline: the next good count takes its
      // place, rather than every count from then on passing for new mail.
      lastMailCount_.reset();
      break;
    case Ran::Counted:
      lastMailCount_ = polled.count;
      break;
  }
}

std::optional<MailWatch::Outcome> MailWatch::Tick() {
  const Result polled = PollOnce();
  if (polled.ran == Ran::Skipped) return std::nullopt;
  const bool counted = polled.ran == Ran::Counted;
  if (std::exchange(baselineWanted_, false)) {
    // A minimise came while this poll waited: it is the new baseline.
    lastMailCount_ = counted ? std::optional(polled.count) : std::nullopt;
    return Outcome::NoNewMail;
  }
  if (!counted) return Outcome::NoNewMail;  // keeps what it remembers
  if (lastMailCount_ && polled.count > *lastMailCount_) return Outcome::NewMail;
  lastMailCount_ = polled.count;
  return Outcome::NoNewMail;
}
