#!/usr/bin/env bash
# Logins to XFCE through its session manager, with the program's autostart
# entry on and the session saved at every logout: each login runs exactly
# one copy, minimised in the tray, and the logout ends it.
# usage: session_test.sh BUILD_DIR ARTIFACT_DIR
NAMESPACES="--net --mount --pid --fork --kill-child --mount-proc"
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/xfce.sh"
# The X servers' sockets are the test's own.
mount -t tmpfs tmpfs /tmp/.X11-unix
install_program "$1" "$(realpath -m "$2")"

mailbox_start "$WORK/dovecot" 110 alice secret || fail "dovecot did not start"
start_speechd
printf '[POP3]\nServername=127.0.0.1\nUsername=alice\nPassword=secret\n' >"$app/config.ini"
export PATH=$WORK/stage/usr/bin:$PATH
XDG_CONFIG_HOME=$WORK/home/.config tallowin-autostart on >/dev/null

copies() { pgrep -cx tallowin || true; }
for login in 1 2; do
  step "login $login: one copy, minimised in the tray"
  desktop_start session
  wait_for 30 window_hidden || fail "the window did not hide into the tray: $(cat "$WORK/session.log")"
  # The session restores its clients before it starts the autostart entries.
  sleep 2
  (($(copies) == 1)) || fail "$(copies) copies run"
  window_hidden || fail "a window was shown"
  desktop_logout
  wait_for 10 test "$(copies)" = 0 || fail "the logout did not end the program"
done
echo "PASS: one copy at every login"
