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
  baselineWanted_ = true;
  // While a poll is under way (there is one socket), its count will do.
  const Result polled = PollOnce();
  if (polled.ran != Ran::Skipped) Take(polled);
}

std::optional<MailWatch::Outcome> MailWatch::Tick() {
  const Result polled = PollOnce();
  if (polled.ran == Ran::Skipped) return std::nullopt;
  return Take(polled);
}

MailWatch::Outcome MailWatch::Take(const Result& polled) {
  const bool counted = polled.ran == Ran::Counted;
  if (std::exchange(baselineWanted_, false)) {
    // A failed baseline is no baseline: the next good count takes its
    // place, rather than every count from then on passing for new mail.
    lastMailCount_ = counted ? std::optional(polled.count) : std::nullopt;
    return Outcome::NoNewMail;
  }
  if (!counted) return Outcome::NoNewMail;  // keeps what it remembers
  if (lastMailCount_ && polled.count > *lastMailCount_) return Outcome::NewMail;
  lastMailCount_ = polled.count;
  return Outcome::NoNewMail;
}
