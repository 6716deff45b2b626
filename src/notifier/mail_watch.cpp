#include "notifier/mail_watch.h"

std::optional<qint32> MailWatch::PollOnce() {
  if (polling_) return std::nullopt;
  polling_ = true;
  const qint32 count = poll_();
  polling_ = false;
  if (count < 0) return std::nullopt;
  return count;
}

void MailWatch::Minimised() {
  // A failed baseline is no baseline: the next good count takes its place,
  // rather than every count from then on passing for new mail.
  lastMailCount_ = PollOnce();
}

std::optional<MailWatch::Outcome> MailWatch::Tick() {
  if (polling_) return std::nullopt;
  const std::optional<qint32> count = PollOnce();
  if (!count) return Outcome::NoNewMail;  // keeps what it remembers
  if (lastMailCount_ && *count > *lastMailCount_) return Outcome::NewMail;
  lastMailCount_ = count;
  return Outcome::NoNewMail;
}
