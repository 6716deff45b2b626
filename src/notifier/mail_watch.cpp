#include "notifier/mail_watch.h"

qint32 MailWatch::PollOnce() {
  polling_ = true;
  const qint32 count = poll_();
  polling_ = false;
  return count;
}

void MailWatch::PayBaseline() {
  // There is one socket. A minimise that comes while the baseline's own poll
  // waits owes another, taken when this one ends.
  while (baselineOwed_ && online_ && !polling_) {
    baselineOwed_ = false;
    const qint32 count = PollOnce();
    // A failed baseline is no baseline: the next good count takes its
    // place, rather than every count from then on passing for new mail.
    lastMailCount_ = count >= 0 ? std::optional(count) : std::nullopt;
  }
}

void MailWatch::Minimised() {
  baselineOwed_ = true;
  lastMailCount_.reset();
  PayBaseline();
}

void MailWatch::NetworkChanged(bool online) {
  online_ = online;
  PayBaseline();
}

std::optional<MailWatch::Outcome> MailWatch::Tick() {
  if (polling_ || !online_) return std::nullopt;
  const qint32 count = PollOnce();
  if (baselineOwed_) {
    PayBaseline();
    return std::nullopt;
  }
  if (count < 0) return Outcome::NoNewMail;  // keeps what it remembers
  if (lastMailCount_ && count > *lastMailCount_) return Outcome::NewMail;
  lastMailCount_ = count;
  return Outcome::NoNewMail;
}
