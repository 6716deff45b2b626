#!/usr/bin/env bash
# The ends that do not come from the window, when something outside the
# program does not behave: a termination signal while the speech server
# takes the connection and never answers, and while the box that reports it
# shows, must end the program at once and save nothing; the X server going
# away under it must end it as a failure, not a crash, and save nothing.
# usage: end_test.sh BUILD_DIR ARTIFACT_DIR
NAMESPACES="--net"
source "$(dirname "$0")/desktop.sh"
install_program "$1" "$2"
start_xvfb
XVFB=${PIDS[-1]}
# Blanks that a save would drop: any save shows.
config_ini " 127.0.0.1" alice secret
cp "$app/config.ini" "$WORK/config.before"

# A speech server that hangs: stopped, it never says a word, and the system
# takes every connection for it; connected: one waits for it to take it.
start_speechd hung
kill -STOP "$SPEECHD_PID"
connected() { ss -xl | awk -v sock="$WORK/hung/sock" '$5 == sock && $3 > 0' | grep -q .; }

# terminate_within SECONDS: SIGTERM, the program gone that soon, and nothing
# saved.
terminate_within() {
  kill -TERM "$PROGRAM"
  program_ended "$1" || fail "SIGTERM did not end the program within $1 s"
  cmp -s "$app/config.ini" "$WORK/config.before" || fail "SIGTERM saved: $(cat "$app/config.ini")"
}
window_mapped() { viewable "$(main_window)"; }

step "SIGTERM while the speech server hangs"
start_program
wait_for 5 connected || fail "the program did not connect to speech"
sleep 1
terminate_within 2

step "SIGTERM while the box says no speech server answered"
start_program
wait_for 10 box_window || fail "no box: $(cat "$WORK/program.log")"
terminate_within 2

step "the X server goes away: a failure, not a crash, and nothing saved"
kill -KILL "$SPEECHD_PID"
start_speechd
start_program
wait_for 10 window_mapped || fail "the window did not show: $(cat "$WORK/program.log")"
kill -TERM "$XVFB"
program_ended 5 || fail "the program outlived its display"
status=0
wait "$PROGRAM" || status=$?
((status == 1)) || fail "ended with status $status: $(cat "$WORK/program.log")"
! grep -q "terminate called" "$WORK/program.log" || fail "terminated: $(cat "$WORK/program.log")"
cmp -s "$app/config.ini" "$WORK/config.before" || fail "config.ini changed: $(cat "$app/config.ini")"
echo "PASS: every end is clean"
