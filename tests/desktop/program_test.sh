#!/usr/bin/env bash
# The whole program on a real desktop, against a real POP3 server on port 110
# and a real speech server, in a network namespace of the test's own. Given
# valgrind suppressions, the same runs under valgrind's memcheck, and fail
# on any memory error or any leak that is definitely lost.
# usage: program_test.sh APP_DIR ARTIFACT_DIR [SUPPRESSIONS]
if [[ -z ${TALLOWIN_IN_NETNS:-} ]]; then
  export TALLOWIN_IN_NETNS=1
  exec unshare --net -- bash "$0" "$@"
fi
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/../support/speechd.sh"
ip link set lo up
built_app=$1
artifacts=$2
launcher=()
slow=1
if [[ -n ${3:-} ]]; then
  launcher=(valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite
    --show-leak-kinds=definite --error-exitcode=99 --suppressions="$3"
    --log-file="$artifacts/memcheck.%p.log")
  slow=6
fi
rm -rf "$artifacts"
mkdir -p "$artifacts"
shot() { import -window root "$artifacts/$1.png"; }
fail() {
  shot failure 2>/dev/null || true
  echo "FAIL: $*" >&2
  exit 1
}

source "$(dirname "$0")/../../scripts/program_folder.sh"
app=$WORK/app
program_folder "$app" "$built_app" 127.0.0.1 alice secret

start_dovecot() {
  mailbox_start "$WORK/dovecot" 110 alice secret || fail "dovecot did not start"
  PIDS+=("$MAILBOX_PID")
}

spoken() { grep -c 'Queueing message |Tallowin|' "$SPEECHD_LOG" || true; }
tray_icon() { tray_icon_of tallowin; }

tray_shows() {
  sleep 0.5
  capture_window "$(tray_icon)" "$artifacts/tray-$2.png"
  [[ $(closest_icon "$artifacts/tray-$2.png" "$app/Mail.ico" "$app/IsMail.ico") == "$1" ]] ||
    fail "the tray icon does not show $1 ($2)"
}

# Waits for the next timer tick's poll to be logged in, and a moment more.
next_tick() {
  local before
  before=$(mailbox_logins)
  wait_for 75 mailbox_logged_in $((before + 1)) || fail "no poll within a minute"
  sleep "$slow"
}

start_program() {
  "${launcher[@]}" "$app/tallowin" >"$WORK/program.log" 2>&1 &
  PROGRAM=$!
  PIDS+=("$PROGRAM")
  wait_for $((10 * slow)) window_shown || fail "the window did not show: $(cat "$WORK/program.log")"
  wait_for $((10 * slow)) has_tray_icon tallowin || fail "no tray icon"
  sleep 0.5
}

# ended_cleanly: waits for the program's end; under memcheck, its verdict.
ended_cleanly() {
  local status=0
  wait_for $((10 * slow)) bash -c "! kill -0 $PROGRAM" || fail "the program did not end"
  wait "$PROGRAM" || status=$?
  ((status != 99)) || fail "memcheck found errors: $(cat "$artifacts"/memcheck.*.log)"
}

start_desktop
start_dovecot
start_speechd

step "the window shows the values of config.ini"
printf '; kept by hand\n[POP3]\nServername=127.0.0.1\nUsername=alice\nPassword=secret\n\n[Other]\nKey=value\n' \
  >"$app/config.ini"
start_program
win=$(main_window)
shot window
capture_window "$win" "$artifacts/window-only.png"

step "minimising polls once, hides the window and shows Mail.ico in the tray"
xdotool windowminimize "$win"
wait_for $((10 * slow)) mailbox_logged_in 1 || fail "the baseline poll did not log in"
wait_for $((5 * slow)) window_hidden || fail "the window was not hidden"
tray_shows Mail.ico baseline

step "new mail: IsMail.ico and \"Tallowin\" at the next tick, and the tick after"
mailbox_deliver one
mailbox_deliver two
next_tick
tray_shows IsMail.ico new-mail
(($(spoken) == 1)) || fail "\"Tallowin\" was queued $(spoken) times, not once"
next_tick
sleep 1
(($(spoken) == 2)) || fail "\"Tallowin\" was not said again at the next tick"

step "mail removed: Mail.ico and silence"
mailbox_empty
next_tick
tray_shows Mail.ico mail-gone
(($(spoken) == 2)) || fail "\"Tallowin\" was said with no new mail"

step "a double-click on the tray icon brings the window back"
icon=$(tray_icon)
xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 80 1
wait_for $((5 * slow)) window_shown || fail "the window did not come back"
shot restored

step "closing the window saves the fields and keeps the rest of config.ini"
win=$(main_window)
xdotool windowactivate --sync "$win"
xdotool mousemove --window "$win" 100 73 click --repeat 3 1
xdotool type --delay 20 'bob'
xdotool key alt+F4
ended_cleanly
expected=$'; kept by hand\n[POP3]\nServername=127.0.0.1\nUsername=bob\nPassword=secret\n\n[Other]\nKey=value'
[[ $(cat "$app/config.ini") == "$expected" ]] || fail "config.ini holds: $(cat "$app/config.ini")"
wait_for 5 no_tray_icon tallowin || fail "the tray icon outlived the program"

step "SIGTERM ends the program without saving"
cp "$app/config.ini" "$WORK/config.before"
start_program
win=$(main_window)
xdotool windowactivate --sync "$win"
xdotool mousemove --window "$win" 100 73 click --repeat 3 1
xdotool type --delay 20 'mallory'
before=$(mailbox_logins)
xdotool windowminimize "$win"
wait_for $((10 * slow)) mailbox_logged_in $((before + 1)) || true
kill -TERM "$PROGRAM"
ended_cleanly
cmp -s "$app/config.ini" "$WORK/config.before" || fail "SIGTERM changed config.ini"
wait_for 5 no_tray_icon tallowin || fail "the tray icon outlived the program"

echo "PASS: the whole program on a desktop"
