#!/usr/bin/env bash
# What a poll costs as the mailbox grows, on both sides of the wire: the
# notifier and, where they are installed, gnubiff and mailnag, all in one
# run against one dovecot, each with a user of its own whose maildir holds
# 0, then 1,000, then 50,000 messages (SIZES to choose others). Per poll:
# the client's CPU, the bytes each way (from a capture of the server's
# port), dovecot's CPU for the session (its processes sit in a cpuacct
# cgroup of the run's own), and the commands each client sent.
# --install-peers installs the two notifiers and tcpdump first.
# usage: growth_bench.sh [--install-peers] BUILD_DIR [POLLS [SIZES]]
bench=$(cd "$(dirname "$0")" && pwd)
source "$bench/peers.sh"
if [[ ${1:-} == --install-peers ]]; then
  "$bench/../scripts/ensure-packages.sh" --no-install-recommends "${PEER_PACKAGES[@]}" tcpdump
  shift
fi
source "$bench/../tests/desktop/desktop.sh"
source "$bench/../scripts/mailbox.sh"
source "$bench/../scripts/program_folder.sh"
source "$bench/../tests/support/speechd.sh"
build=$(cd "$1" && pwd)
polls=${2:-3}
sizes=${3:-0,1000,50000}
command -v tcpdump >/dev/null || fail "tcpdump is missing (--install-peers installs it)"

# Dovecot and every process it starts, ended ones too, in a cgroup whose
# CPU clock is the server's.
cpuacct=/sys/fs/cgroup/cpuacct
cgroup=$cpuacct/tallowin-growth-$$
mkdir "$cgroup" || fail "cannot make a cpuacct cgroup (cgroup v1, root)"
home_cgroup=$cpuacct$(awk -F: '$2 ~ /(^|,)cpuacct(,|$)/ {print $3}' /proc/self/cgroup)
end_cgroup() {
  local tries
  stop_all
  for ((tries = 0; tries < 50; tries++)); do
    rmdir "$cgroup" 2>/dev/null && return
    sleep 0.1
  done
  echo "the cgroup $cgroup still holds processes" >&2
}
trap end_cgroup EXIT

start_xvfb
start_wm
start_tray
start_speechd
port=$(mailbox_free_port)
echo $$ >"$cgroup/cgroup.procs"
mailbox_start "$WORK/mailbox" "$port" bench bench || fail "dovecot did not start"
echo $$ >"$home_cgroup/cgroup.procs"
PIDS+=("$MAILBOX_PID")
spawn tcpdump tcpdump -i lo -U -s 0 -w "$WORK/wire.pcap" "tcp port $port"
tcpdump_pid=${PIDS[-1]}
wait_for 10 grep -q "listening on" "$WORK/tcpdump.log" || fail "tcpdump did not start"

app=$WORK/app
program_folder "$app" "$build/app" "pop3://127.0.0.1:$port" bench bench
programs=()
"$app/tallowin" >/dev/null 2>&1 &
PIDS+=($!)
programs+=("Tallowin:$!:bench")
wait_for 10 window_shown || fail "no window from Tallowin"
xdotool windowminimize "$(main_window)"
# The peers start a third of a minute apart, so that no two sessions meet.
if command -v gnubiff >/dev/null; then
  gnubiff_setup "$WORK/gnubiff" "$port"
  sleep 20
  "${GNUBIFF[@]}" >"$WORK/gnubiff.log" 2>&1 &
  PIDS+=($!)
  programs+=("gnubiff:$!:gnubiff")
fi
if command -v mailnag >/dev/null; then
  spawn bus dbus-daemon --session --nofork --address="unix:path=$WORK/bus" \
    --print-address=3 3>"$WORK/bus-address"
  wait_for 10 test -s "$WORK/bus-address" || fail "dbus-daemon did not start"
  mailnag_setup "$WORK/mailnag" "$port" "$(head -n 1 "$WORK/bus-address")"
  sleep 20
  "${MAILNAG[@]}" >"$WORK/mailnag.log" 2>&1 &
  PIDS+=($!)
  programs+=("mailnag:$!:mailnag")
fi

echo "following $polls polls of each at each of $sizes messages" >&2
mkdir -p "$WORK/growth"
python3 "$bench/growth_sample.py" "$polls" "$sizes" "$MAILBOX_DIR" "$cgroup" "$WORK/growth" \
  "${programs[@]}" || fail "the run did not complete"
kill "$tcpdump_pid"
wait "$tcpdump_pid" 2>/dev/null || true
echo "Growth benchmark on $(hostname), $(date -Iseconds); dovecot $(dovecot --version | cut -d' ' -f1)"
echo
python3 "$bench/growth_sample.py" report "$WORK/growth" "$WORK/wire.pcap" "$port"
