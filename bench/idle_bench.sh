#!/usr/bin/env bash
# What the notifier costs while it waits, beside a bare Qt window with a tray
# icon (tray_baseline), the same with the notifier's three labelled fields
# (fields_baseline) and, where they are installed, two established
# notifiers from Debian (gnubiff, mailnag): all in one run, on one private
# desktop, mailbox and speech server. Start-up time, memory after start and
# after POLLS + 1 polls (default 10, one a minute), CPU per poll, wakeups
# between polls. --install-peers installs the two notifiers first.
# usage: idle_bench.sh [--install-peers] BUILD_DIR [POLLS]
bench=$(cd "$(dirname "$0")" && pwd)
source "$bench/peers.sh"
if [[ ${1:-} == --install-peers ]]; then
  "$bench/../scripts/ensure-packages.sh" --no-install-recommends "${PEER_PACKAGES[@]}"
  shift
fi
source "$bench/../tests/desktop/desktop.sh"
source "$bench/../scripts/mailbox.sh"
source "$bench/../scripts/program_folder.sh"
source "$bench/../tests/support/speechd.sh"
build=$(cd "$1" && pwd)
polls=${2:-10}
((polls >= 2)) || { echo "POLLS must be 2 or more" >&2; exit 2; }

start_xvfb
start_wm
start_tray
port=$(mailbox_free_port)
mailbox_start "$WORK/mailbox" "$port" bench bench || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
app=$WORK/app
program_folder "$app" "$build/app" "pop3://127.0.0.1:$port" bench bench
peers=()
if command -v gnubiff >/dev/null; then
  gnubiff_setup "$WORK/gnubiff" "$port"
  peers+=(gnubiff)
fi
if command -v mailnag >/dev/null; then
  # mailnag serves itself on a session bus; the others keep to none, as in
  # the tests.
  spawn bus dbus-daemon --session --nofork --address="unix:path=$WORK/bus" \
    --print-address=3 3>"$WORK/bus-address"
  wait_for 10 test -s "$WORK/bus-address" || fail "dbus-daemon did not start"
  mailnag_setup "$WORK/mailnag" "$port" "$(head -n 1 "$WORK/bus-address")"
  peers+=(mailnag)
fi

now_ms() { date +%s%3N; }

# start_timed TITLE COMMAND...: starts it and waits for its window, the one
# named TITLE, or with TITLE "-" any of the process's; sets PID and MS.
start_timed() {
  local title=$1 t0 search deadline=$((SECONDS + 30))
  shift
  t0=$(now_ms)
  "$@" >/dev/null 2>&1 &
  PID=$!
  PIDS+=("$PID")
  search=(--name "^$title\$")
  [[ $title != - ]] || search=(--pid "$PID")
  until xdotool search --onlyvisible "${search[@]}" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "no window came from $* in 30 s"
    sleep 0.005
  done
  MS=$(($(now_ms) - t0))
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Start-up with no speech server running: the library starts one at its
# default place, here inside a home of the benchmark's own.
cold_home=$WORK/cold-home
mkdir -p "$cold_home"
echo "default_driver=null" >"$cold_home/.libao"
start_timed Tallowin env -u SPEECHD_ADDRESS HOME="$cold_home" "$app/tallowin"
cold_ms=$MS
sleep 1
spawned=$(grep -l -s -a "HOME=$cold_home" /proc/[0-9]*/environ | grep -v "/proc/$PID/" |
  cut -d/ -f3 || true)
[[ -n $spawned ]] || fail "the program started no speech server (was an error box its window?)"
stop "$PID"
kill $spawned 2>/dev/null || true
start_speechd

# Start-up with the speech server running: the median of starts taken in
# turn, each round begun by the next program, so that all see the same
# machine and none always follows the same one. gnubiff's only window is its
# tray icon; mailnag has none.
rounds=12
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
declare -A starts=()
timed=(baseline fields ours)
[[ -v GNUBIFF ]] && timed+=(gnubiff)
start_one() {
  case $1 in
    baseline) start_timed TrayBaseline "$build/bench/tray_baseline" ;;
    fields) start_timed FieldsBaseline "$build/bench/fields_baseline" ;;
    ours) start_timed Tallowin "$app/tallowin" ;;
    gnubiff) start_timed - "${GNUBIFF[@]}" ;;
  esac
  starts[$1]+="$MS "
  stop "$PID"
}
for ((round = 0; round < rounds; round++)); do
  for ((i = 0; i < ${#timed[@]}; i++)); do
    start_one "${timed[(round + i) % ${#timed[@]}]}"
  done
done
startup() { printf '%s\n' ${starts[$1]} | median; }

# The three fields beside the bare window alone, minimised as the notifier
# will be: beside the notifier they would share with it the code that draws
# text, and its private memory would no longer be what it is on its own.
start_timed TrayBaseline "$build/bench/tray_baseline"
base_pid=$PID
start_timed FieldsBaseline "$build/bench/fields_baseline"
xdotool windowminimize "$(xdotool search --onlyvisible --name '^FieldsBaseline$' | head -n 1)"
sleep 3
fields="The bare window with the three labelled fields (fields_baseline), minimised beside the bare
tray window alone before the run: $(python3 "$bench/idle_sample.py" alone "$PID" "$base_pid" \
  "$(startup fields)" "$(startup baseline)")."
stop "$PID"
stop "$base_pid"

# All side by side; each program's polls are counted from here.
offset=$(stat -c %s "$MAILBOX_LOG")
start_timed TrayBaseline "$build/bench/tray_baseline"
programs=("bare Qt tray:$PID::$(startup baseline)")
start_timed Tallowin "$app/tallowin"
programs+=("Tallowin:$PID:bench:$(startup ours)")
window=$(xdotool search --onlyvisible --name '^Tallowin$' | head -n 1)
if [[ -v GNUBIFF ]]; then
  start_timed - "${GNUBIFF[@]}"
  programs+=("gnubiff:$PID:gnubiff:$(startup gnubiff)")
fi
if [[ -v MAILNAG ]]; then
  "${MAILNAG[@]}" >"$WORK/mailnag.log" 2>&1 &
  PIDS+=($!)
  programs+=("mailnag:$!:mailnag:")
fi
sleep 2
echo "minimising Tallowin and following $((polls + 1)) polls of each, one a minute" >&2
echo "Idle benchmark on $(hostname), $(date -Iseconds); peers: ${peers[*]:-none installed}; $rounds starts of each"
echo
python3 "$bench/idle_sample.py" "$polls" "$MAILBOX_LOG" "$offset" "$window" "${programs[@]}" ||
  fail "the run did not complete"
echo
echo "$fields"
echo
echo "Tallowin's start-up with no speech server running, which it starts: $cold_ms ms"
