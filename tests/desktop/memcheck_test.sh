#!/usr/bin/env bash
# One whole cycle of the program under valgrind's memcheck: start, minimise,
# a poll at minimise and one at a tick, restore from the tray, close. Fails
# on any memory error and on any leak that is definitely lost.
# usage: memcheck_test.sh APP_DIR SUPPRESSIONS; MEMCHECK_OPTIONS adds options
# (--gen-suppressions=all, say).
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/speechd.sh"
built_app=$1
suppressions=$2

start_desktop
port=$(mailbox_free_port)
mailbox_start "$WORK/mailbox" "$port" alice secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
mailbox_deliver first

start_speechd

app=$WORK/app
mkdir -p "$app"
cp "$built_app/tallowin" "$built_app/Mail.ico" "$built_app/IsMail.ico" "$app/"
printf '[POP3]\nServername=pop3://127.0.0.1:%s\nUsername=alice\nPassword=secret\n' "$port" \
  >"$app/config.ini"


step "start under memcheck"
valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
  --show-leak-kinds=definite --error-exitcode=99 --suppressions="$suppressions" \
  --log-file="$WORK/memcheck.log" ${MEMCHECK_OPTIONS:-} "$app/tallowin" &
program=$!
PIDS+=("$program")
wait_for 120 window_shown || fail "the window did not show"
wait_for 30 has_tray_icon tallowin || fail "no tray icon"

step "minimise: a poll, then one at the next tick"
xdotool windowminimize "$(main_window)"
wait_for 60 mailbox_logged_in 1 || fail "no poll at minimise"
wait_for 30 window_hidden || fail "the window was not hidden"
wait_for 90 mailbox_logged_in 2 || fail "no poll at a tick"

step "restore from the tray, then close"
xdotool mousemove --window "$(tray_icon_of tallowin)" 8 8 click --repeat 2 --delay 80 1
wait_for 30 window_shown || fail "the window did not come back"
xdotool windowactivate --sync "$(main_window)" key alt+F4
status=0
wait "$program" || status=$?
grep -E "ERROR SUMMARY|definitely lost" "$WORK/memcheck.log" || true
if ((status != 0)); then
  cat "$WORK/memcheck.log" >&2
  cp "$WORK/memcheck.log" memcheck.log 2>/dev/null || true
  fail "memcheck found errors (exit $status)"
fi
echo "PASS: a whole cycle, clean under memcheck"
