#!/usr/bin/env bash
# The installed program as a screen reader sees it: on an X desktop with the
# AT-SPI bus on a private session bus, its accessibility bridge on as a
# running screen reader turns it on, read with pyatspi (screen_reader.py).
# usage: screen_reader_test.sh BUILD_DIR ARTIFACT_DIR
source "$(dirname "$0")/desktop.sh"
install_program "$1" "$2"
# Port 9 refuses: the poll at the minimise fails and shows its box.
config_ini pop3://127.0.0.1:9 alice secret

start_xvfb
start_wm
start_session_bus
spawn atspi /usr/libexec/at-spi-bus-launcher --launch-immediately
wait_for 10 gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.a11y.Bus.GetAddress || fail "the AT-SPI bus did not start"
# As a screen reader does when it starts.
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status ScreenReaderEnabled '<true>' \
  >/dev/null || fail "the screen reader flag could not be set"
start_speechd
start_program
window_up() { [[ -n $(main_window) ]]; }
wait_for 10 window_up || fail "the window did not show: $(cat "$WORK/program.log")"
/usr/bin/python3 "$(dirname "$0")/screen_reader.py" "$(main_window)" || fail "see above"
