// The window state the handlers read: normal or minimised, kept here rather
// than asked of the window system each time. Once the program has hidden
// the minimised window into the tray, desktops disagree about what it is:
// openbox drops its WM_STATE and Qt still says minimised, mutter marks it
// Withdrawn and Qt says normal. Hiding must leave the state as it was, or
// on GNOME the ticks would stop polling after the first hide.
#pragma once

#include <QDeadlineTimer>

#include <optional>

namespace host {

class WindowState {
 public:
  enum Value { Normal = 0, Minimized = 1 };

  Value value() const { return value_; }

  // The desktop changed the window's state (the Resize event). While the
  // program keeps the window hidden, what the window system says of it is
  // not the user's doing and is not taken. Whether the state changed: a
  // desktop may report one minimise more than once (mutter does), and it
  // is still one minimise.
  bool Reported(bool minimized) {
    // mutter 48 reports a window it is still mapping as minimised for a
    // moment (about 0.1 s): that is not the user's minimise. Bounded, so a
    // window that is never drawn (covered as it opened) is still watched.
    if (minimized && mapping_ && !mapping_->hasExpired()) return false;
    const Value before = value_;
    if (!hidden_) value_ = minimized ? Minimized : Normal;
    return value_ != before;
  }
  // The window was shown, minimised (a start at login) or not; until it
  // has been drawn, the window manager is mapping it.
  void Shown(bool minimized) {
    if (minimized)
      mapping_.reset();
    else
      mapping_ = QDeadlineTimer(kMappingMs);
  }
  // The window has been drawn on screen.
  void Drawn() { mapping_.reset(); }
  // The program hid the minimised window into the tray.
  void Hidden() { hidden_ = true; }
  // The program set the window back to normal to show it.
  void Restored() {
    hidden_ = false;
    value_ = Normal;
  }

 private:
  Value value_ = Normal;
  bool hidden_ = false;
  static constexpr int kMappingMs = 1000;
  std::optional<QDeadlineTimer> mapping_;
};

}  // namespace host
