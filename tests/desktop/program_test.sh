#!/usr/bin/env bash
# The installed program on a real X desktop, against a real POP3 server and
# a real speech server, in a network and mount namespace of the test's own:
# started at login before the panel, watching, announcing through a speech
# server that restarts and sticks, restored and closed on an XEmbed tray,
# each later start handed over to it; then once more on a
# StatusNotifierItem tray whose host comes after the minimise and whose
# watcher hangs a while, with a copy of another program folder beside it.
# (The soak test watches over TLS, and the tray's pictures through many
# ticks.)
# Given valgrind suppressions, the same runs under valgrind's memcheck and
# fails on any memory error or definite leak.
# usage: program_test.sh BUILD_DIR ARTIFACT_DIR [SUPPRESSIONS]
NAMESPACES="--net --mount"
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/program_folder.sh"
build=$1
install_program "$build" "$2"
LAUNCHER=(env XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-tallowin)
slow=1
if [[ -n ${3:-} ]]; then
  LAUNCHER+=(valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite
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
mailbox_start "$WORK/dovecot" 110 alice secret || fail "dovecot did not start"
start_speechd

# Waits for the next timer tick's poll to be logged in, and a moment more.
next_tick() {
  local before
  before=$(mailbox_logins)
  wait_for 75 mailbox_logged_in $((before + 1)) || fail "no poll within a minute"
  sleep "$slow"
}
# later_start STATUS ARGS...: a start while the program runs, which ends
# at once with STATUS and leaves the program running.
later_start() {
  local status=0
  timeout 5 "$WORK/stage/usr/bin/tallowin" "${@:2}" >"$WORK/later.log" 2>&1 || status=$?
  ((status == $1)) || fail "a later start ended with status $status: $(cat "$WORK/later.log")"
  kill -0 "$PROGRAM" || fail "the program ended"
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
  program_ended $((10 * slow)) || fail "the program did not end"
  wait "$PROGRAM" || status=$?
  ((status != 99)) || fail "memcheck found errors: $(cat "$ARTIFACTS"/memcheck.*.log)"
}

step "started at login with no panel yet: a poll, and the window waits on the taskbar"
printf '; kept by hand\n[POP3]\nServername=127.0.0.1\nUsername=alice\nPassword=secret\n\n[Other]\nKey=value\n' \
  >"$app/config.ini"
start_program --minimized
wait_for $((10 * slow)) mailbox_logged_in 1 || fail "no poll: $(cat "$WORK/program.log")"
wait_for $((5 * slow)) window_iconic || fail "the window is not minimised on the taskbar"

step "the panel comes up: the window hides into it"
start_tray
trayer=${PIDS[-1]}
wait_for $((10 * slow)) has_tray_icon || fail "no tray icon"
wait_for $((5 * slow)) window_hidden || fail "the window stayed on the taskbar"
# That a single click on it restores nothing is frm_main_test's.

step "later starts hand over: one at login changes nothing, a plain one brings the window back"
later_start 0 --minimized
window_hidden || fail "a start at login showed the window"
later_start 0
wait_for $((5 * slow)) window_shown || fail "a plain start did not bring the window back"
kill -STOP "$PROGRAM"
later_start 1
kill -CONT "$PROGRAM"
xdotool windowminimize "$(main_window)"
wait_for $((10 * slow)) window_hidden || fail "the window was not hidden again"

step "new mail: \"Tallowin\" at the next tick, as the first poll went"
mailbox_deliver one
mailbox_deliver two
next_tick
(($(spoken) == 1)) || fail "\"Tallowin\" was queued $(spoken) times, not once"
! grep -q libqsvg "/proc/$PROGRAM/maps" || fail "reading the icon files loaded image readers they do not need"
# Qt's TLS backends, not libssl: Debian 13's Qt network library brings that
# in at start, through libproxy.
! grep -q /plugins/tls/ "/proc/$PROGRAM/maps" || fail "a plain mailbox's poll loaded the TLS stack"

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

step "a double-click brings the window back; closing saves it and keeps the rest"
xdotool mousemove --window "$(tray_icon)" 8 8 click --repeat 2 --delay 80 1
wait_for $((5 * slow)) window_shown || fail "the window did not come back"
# In place of what the user name field holds.
xdotool windowactivate --sync "$(main_window)"
xdotool mousemove --window "$(main_window)" 100 73 click --repeat 3 1 type --delay 20 bob
close_program
expected=$'; kept by hand\n[POP3]\nServername=127.0.0.1\nUsername=bob\nPassword=secret\n\n[Other]\nKey=value'
[[ $(cat "$app/config.ini") == "$expected" ]] || fail "config.ini holds: $(cat "$app/config.ini")"

step "a StatusNotifierItem watcher with no host yet: the minimised window waits on the taskbar"
sed -i 's/=bob/=alice/' "$app/config.ini"
kill "$trayer"
spawn watcher status-notifier-watcher
watcher=${PIDS[-1]}
wait_for 10 sn_watcher org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
  ProtocolVersion || fail "the watcher did not start"
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

step "the watcher hangs: a later start is still answered, and the window stays on the taskbar"
kill -STOP "$watcher"
sleep 3  # the window, waiting for a panel, asks the watcher every 2 s
later_start 0
wait_for $((5 * slow)) window_shown || fail "a plain start did not bring the window back"
xdotool windowminimize "$(main_window)"
sleep $((3 * slow))
window_iconic || fail "the window hid while the watcher hangs"
kill -CONT "$watcher"

step "a StatusNotifierItem tray: the item carries the tip; activated while the watcher hangs, it restores"
sn_watcher org.kde.StatusNotifierWatcher.RegisterStatusNotifierHost org.tallowin.TestHost >/dev/null
# Qt 6.4 makes the icon an item only where a host was there as it started.
if ! sn_items; then
  close_program TERM
  minimise_program
fi
wait_for $((5 * slow)) window_hidden || fail "the window was not hidden"
wait_for 5 sn_items || fail "no item registered"
item=$(sn_items | cut -d/ -f1)
gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip |
  grep -q "'Tallowin v1.00'" || fail "the item's tip is not \"Tallowin v1.00\""
kill -STOP "$watcher"
gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
wait_for $((5 * slow)) window_shown || fail "the item, activated while the watcher hangs, restored nothing"
kill -CONT "$watcher"

step "another folder's copy runs beside it; killed, the next start there runs anew"
program_folder "$WORK/other" "$app" 127.0.0.1 alice secret
for attempt in first next; do
  polls=$(mailbox_logins)
  "$WORK/other/tallowin" --minimized >"$WORK/other.log" 2>&1 &
  PIDS+=($!)
  wait_for 10 mailbox_logged_in $((polls + 1)) || fail "the $attempt copy there did not run: $(cat "$WORK/other.log")"
  kill -KILL $!
done
close_program TERM

echo "PASS: the whole program on a desktop"
