#!/usr/bin/env bash
# The installed program, its clock ten times fast, beside a NetworkManager
# (python3-dbusmock's) on a private system bus, with the server stopped
# while the network is "down", so that any poll tried then fails with a
# box: started at login before the network, through a suspend, and with no
# NetworkManager at all.
# usage: network_test.sh BUILD_DIR ARTIFACT_DIR
NAMESPACES="--net --mount"
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/program_folder.sh"
install_program "$1" "$2"

start_xvfb
start_wm
start_tray
start_session_bus system
start_speechd
server_up() { mailbox_start "$WORK/mail" 110 alice secret || fail "dovecot did not start"; }
server_up
mailbox_deliver first
program_folder "$WORK/prog" "$app" 127.0.0.1 alice secret
# The checks yield to the program, whose server has a fifth of a second.
renice -n 10 -p $$ >/dev/null

# start_program: the program, as the login starts it, straight to the tray.
start_program() {
  "${FAST_CLOCK[@]}" "$WORK/prog/tallowin" --minimized >>"$WORK/tallowin.log" 2>&1 &
  pid=$!
  started=$(date +%s%N)
  PIDS+=("$pid")
}
has_box() { box_window --pid "$pid" >/dev/null; }
# no_box_for SECONDS: no box comes up meanwhile.
no_box_for() {
  local until=$((SECONDS + $1))
  while ((SECONDS < until)); do
    has_box && fail "$2: a box is on screen"
    sleep 0.5
  done
}
# The moment a tick is 1.5 s past: a poll due at the next tick comes 4.5 s
# later, one taken at once within the 2.5 s checks give it.
after_a_tick() {
  local ms=$((($(date +%s%N) - started) / 1000000)) tick=$((TICK * 1000))
  ms=$(((tick + 1500 - ms % tick) % tick))
  sleep "$((ms / 1000)).$(printf %03d $((ms % 1000)))"
}
polled_more() { (($(polls alice) > polled)); }
spoken_more() { (($(spoken) > said)); }

# NetworkManager's word, as it sends it: the property, and the older signal.
nm() {
  gdbus call --system --dest org.freedesktop.NetworkManager \
    --object-path /org/freedesktop/NetworkManager --method "$@" >/dev/null
}
nm_state() {
  nm org.freedesktop.DBus.Mock.UpdateProperties org.freedesktop.NetworkManager \
    "{'State': <uint32 $1>}"
  nm org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.NetworkManager StateChanged u \
    "[<uint32 $1>]"
}
readonly ASLEEP=10 DISCONNECTED=20 CONNECTED_SITE=60 CONNECTED_GLOBAL=70

step "no NetworkManager on the bus: a tick with the server down shows its box"
start_program
wait_for 20 mailbox_logged_in 1 || fail "no baseline: $(cat "$WORK/tallowin.log")"
wait_for 5 window_hidden || fail "the window did not hide"
mailbox_stop
wait_for $((3 * TICK)) has_box || fail "no box with the server down"
kill "$pid"
wait_for 10 ended "$pid" || fail "the program did not end"

step "login before the network: no poll, no box, the window in the tray"
spawn nm /usr/bin/python3 -m dbusmock --system --template networkmanager
wait_for 10 nm org.freedesktop.DBus.Properties.Get org.freedesktop.NetworkManager State ||
  fail "the mock NetworkManager did not start"
nm_state $DISCONNECTED
server_up
polled=$(polls alice)
start_program
wait_for 10 window_hidden || fail "minimised offline, the window did not hide into the tray"
no_box_for $((2 * TICK)) "disconnected"
polled_more && fail "a poll was tried while disconnected"
after_a_tick
nm_state $CONNECTED_GLOBAL
sleep 2.5
polled_more || fail "connected: no baseline at once"
said=$(spoken)
polled=$(polls alice)
mailbox_deliver second
wait_for $((TICK + 2)) polled_more || fail "no tick after the baseline"
wait_for 2 spoken_more || fail "the new mail after the baseline was not announced"
(($(spoken) == said + 1)) || fail "announced $(($(spoken) - said)) times at one tick"

step "a suspend: asleep, then disconnected, no box; mail meanwhile announced when back"
mailbox_empty
polled=$(polls alice)
wait_for $((TICK + 2)) polled_more || fail "no tick after the mail went"
sleep 0.5  # that tick's count, none, is remembered
nm_state $ASLEEP
mailbox_stop
no_box_for $((2 * TICK)) "asleep"
nm_state $DISCONNECTED
mailbox_deliver meanwhile
no_box_for $((2 * TICK)) "disconnected after the resume"
server_up
said=$(spoken)
polled=$(polls alice)
# Back on a LAN with no way out: the server may be on it.
nm_state $CONNECTED_SITE
wait_for $((TICK + 2)) polled_more || fail "connected: no poll within a tick"
wait_for 2 spoken_more || fail "the mail that came during the suspend was not announced"
has_box && fail "a box after the resume"
echo "PASS: no poll and no box without a network; polling again as soon as it is back"
