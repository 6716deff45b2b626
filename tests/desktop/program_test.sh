#!/usr/bin/env bash
# The installed program on a real X desktop, against a real POP3 server and
# a real speech server, in a network and mount namespace of the test's own:
# started at login before the panel, watching over TLS (plain under
# memcheck) with a certificate the system trusts, announcing, restored and
# closed on an XEmbed tray; then once more, on port 110, on a
# StatusNotifierItem tray whose host comes after the minimise.
# Given valgrind suppressions, the same runs under valgrind's memcheck and
# fails on any memory error or definite leak.
# usage: program_test.sh BUILD_DIR ARTIFACT_DIR [SUPPRESSIONS]
if [[ -z ${TALLOWIN_IN_NETNS:-} ]]; then
  export TALLOWIN_IN_NETNS=1
  exec unshare --net --mount -- bash "$0" "$@"
fi
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/../support/speechd.sh"
source "$(dirname "$0")/../support/test_ca.sh"
ip link set lo up
build=$1
install_program "$build" "$2"
launcher=()
slow=1
server=pop3s://localhost
if [[ -n ${3:-} ]]; then
  # Under memcheck, setting up TLS takes longer than the 2 s a greeting has.
  server=127.0.0.1
  launcher=(valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite
    --show-leak-kinds=definite --error-exitcode=99 --suppressions="$3"
    --log-file="$ARTIFACTS/memcheck.%p.log")
  slow=6
fi

start_xvfb
start_wm
# A Wayland compositor beside the X server, as in a Plasma or GNOME session
# with Xwayland: the program must still open where minimising is seen.
spawn weston weston --backend=headless-backend.so --socket=wayland-tallowin --idle-time=0
wait_for 10 test -S "$XDG_RUNTIME_DIR/wayland-tallowin" || fail "weston did not start"
start_session_bus
trust_test_ca
MAILBOX_TLS_PORT=995 MAILBOX_TLS_CERT=$TEST_CA_CERT MAILBOX_TLS_KEY=$TEST_CA_KEY \
  mailbox_start "$WORK/dovecot" 110 alice secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
start_speechd

# tray_as_first NAME: captures the tray icon as NAME; whether it shows the
# picture of the first capture.
tray_as_first() {
  sleep 0.5
  import -window "$(tray_icon)" "$ARTIFACTS/tray-$1.png"
  [[ $(compare -fuzz 5% -metric AE "$ARTIFACTS"/tray-{first,"$1"}.png null: 2>&1) == 0 ]]
}
# Waits for the next timer tick's poll to be logged in, and a moment more.
next_tick() {
  local before
  before=$(mailbox_logins)
  wait_for 75 mailbox_logged_in $((before + 1)) || fail "no poll within a minute"
  sleep "$slow"
}
# start_program ARGS...: the installed link, as that session starts it.
start_program() {
  XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-tallowin \
    "${launcher[@]}" "$WORK/stage/usr/bin/tallowin" "$@" >"$WORK/program.log" 2>&1 &
  PROGRAM=$!
  PIDS+=("$PROGRAM")
}
# type_user_name TEXT: in place of what the user name field holds.
type_user_name() {
  xdotool windowactivate --sync "$(main_window)"
  xdotool mousemove --window "$(main_window)" 100 73 click --repeat 3 1 type --delay 20 "$1"
}
# close_program [SIGNAL]: Alt+F4, or the signal; then its end, and under
# memcheck its verdict.
close_program() {
  local status=0
  if [[ -n ${1:-} ]]; then
    kill -"$1" "$PROGRAM"
  else
    xdotool windowactivate --sync "$(main_window)" key alt+F4
  fi
  wait_for $((10 * slow)) bash -c "! kill -0 $PROGRAM" || fail "the program did not end"
  wait "$PROGRAM" || status=$?
  ((status != 99)) || fail "memcheck found errors: $(cat "$ARTIFACTS"/memcheck.*.log)"
}

step "started at login with no panel yet: a poll ($server), and the window waits on the taskbar"
printf '; kept by hand\n[POP3]\nServername=%s\nUsername=alice\nPassword=secret\n\n[Other]\nKey=value\n' "$server" \
  >"$app/config.ini"
start_program --minimized
wait_for $((10 * slow)) mailbox_logged_in 1 || fail "no poll: $(cat "$WORK/program.log")"
wait_for $((5 * slow)) window_iconic || fail "the window is not minimised on the taskbar"

step "the panel comes up: the window hides into it"
start_tray
trayer=${PIDS[-1]}
wait_for $((10 * slow)) has_tray_icon || fail "no tray icon"
wait_for $((5 * slow)) window_hidden || fail "the window stayed on the taskbar"
tray_as_first first
xdotool mousemove --window "$(tray_icon)" 8 8 click 1 mousemove 500 500
sleep "$slow"
window_hidden || fail "a single click brought the window back"

step "new mail: another picture, and \"Tallowin\" at the next tick, as the first poll went"
mailbox_deliver one
mailbox_deliver two
next_tick
tray_as_first new-mail && fail "the tray picture did not change"
(($(spoken) == 1)) || fail "\"Tallowin\" was queued $(spoken) times, not once"
! grep -q libqsvg "/proc/$PROGRAM/maps" || fail "reading the icon files loaded image readers they do not need"

step "the speech server restarts, the new one is stuck, the mail is removed: the watch goes on"
kill -KILL "$SPEECHD_PID"
start_speechd
kill -STOP "$SPEECHD_PID"
next_tick
next_tick
mailbox_empty
next_tick
kill -CONT "$SPEECHD_PID"
wait_for $((10 * slow)) spoken_at_least 2 || fail "the new server was not given the texts"
sleep "$slow"
# Two ticks with new mail, then one without.
(($(spoken) == 2)) || fail "\"Tallowin\" was queued $(spoken) times, not twice"
tray_as_first mail-gone || fail "the tray picture did not go back"

step "a double-click brings the window back; closing saves it and keeps the rest"
xdotool mousemove --window "$(tray_icon)" 8 8 click --repeat 2 --delay 80 1
wait_for $((5 * slow)) window_shown || fail "the window did not come back"
type_user_name bob
close_program
expected=$'; kept by hand\n[POP3]\nServername='$server$'\nUsername=bob\nPassword=secret\n\n[Other]\nKey=value'
[[ $(cat "$app/config.ini") == "$expected" ]] || fail "config.ini holds: $(cat "$app/config.ini")"

step "a StatusNotifierItem watcher with no host yet: the minimised window waits on the taskbar"
sed -i -e 's/=bob/=alice/' -e "s|=$server|=127.0.0.1|" "$app/config.ini"
kill "$trayer"
spawn watcher status-notifier-watcher
watcher() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method "$@"
}
wait_for 10 watcher org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
  ProtocolVersion || fail "the watcher did not start"
item() {
  watcher org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems | grep -o "'[^']*'" | tr -d "'" | grep .
}
minimise_program() {
  start_program
  wait_for $((10 * slow)) window_shown || fail "the window did not show: $(cat "$WORK/program.log")"
  xdotool windowminimize "$(main_window)"
}
before=$(mailbox_logins)
minimise_program
wait_for $((10 * slow)) mailbox_logged_in $((before + 1)) || fail "no poll at the minimise"
sleep "$slow"
window_iconic || fail "the window hid while no panel shows the tray"

step "a StatusNotifierItem tray: the item carries the tip, activating it restores; a kill saves nothing"
watcher org.kde.StatusNotifierWatcher.RegisterStatusNotifierHost org.tallowin.TestHost >/dev/null
# Qt 6.4 makes the icon an item only where a host was there as it started.
if ! item; then
  close_program TERM
  minimise_program
fi
wait_for $((5 * slow)) window_hidden || fail "the window was not hidden"
# Qt's own TLS backend: Debian 13's Qt network library brings libssl in at
# start, through libproxy.
! grep -q qopensslbackend "/proc/$PROGRAM/maps" || fail "a plain mailbox's poll loaded the TLS stack"
wait_for 5 item || fail "no item registered"
sni() {
  gdbus call --session --dest "$(item | cut -d/ -f1)" --object-path /StatusNotifierItem --method "$@"
}
sni org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip |
  grep -q "'Tallowin v1.00'" || fail "the item's tip is not \"Tallowin v1.00\""
sni org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
wait_for $((5 * slow)) window_shown || fail "activating the item did not restore the window"
type_user_name half
close_program TERM
grep -qx Username=alice "$app/config.ini" || fail "the kill saved: $(cat "$app/config.ini")"

echo "PASS: the whole program on a desktop"
