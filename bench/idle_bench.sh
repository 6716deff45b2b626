#!/usr/bin/env bash
# What the notifier costs while it waits: start-up time, memory after start
# and after POLLS polls (default 10, one a minute), and wakeups between
# ticks; each beside a bare Qt window with a tray icon (tray_baseline)
# measured in the same run. Runs on a private desktop, mailbox and speech
# server. usage: idle_bench.sh BUILD_DIR [POLLS]
source "$(dirname "$0")/../tests/desktop/desktop.sh"
source "$(dirname "$0")/../scripts/mailbox.sh"
source "$(dirname "$0")/../scripts/program_folder.sh"
source "$(dirname "$0")/../tests/support/speechd.sh"
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

now_ms() { date +%s%3N; }
rss_kb() { awk '/^VmRSS:/{print $2}' "/proc/$1/status"; }
pss_kb() { awk '/^Pss:/{print $2}' "/proc/$1/smaps_rollup"; }
private_kb() { awk '/^Private_(Clean|Dirty):/{kb += $2} END {print kb}' "/proc/$1/smaps_rollup"; }
switches() { awk '/^voluntary_ctxt_switches:/{print $2}' "/proc/$1/status"; }
# The process's CPU time over all its threads, ended ones too, in ms: the
# kernel's per-process clock (/proc's ticks are too coarse for a poll).
cpu_ms() {
  python3 -c 'import sys, time; print(time.clock_gettime_ns(((~int(sys.argv[1])) << 3) | 2) / 1e6)' "$1"
}

# start_timed NAME COMMAND...: starts it, waits for its window; sets PID, MS.
start_timed() {
  local title=$1 t0
  shift
  t0=$(now_ms)
  "$@" >/dev/null 2>&1 &
  PID=$!
  PIDS+=("$PID")
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do sleep 0.005; done
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
# turn with the baseline's, so that both see the same machine.
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
base_starts=() warm_starts=()
for _ in 1 2 3 4 5 6 7 8; do
  start_timed TrayBaseline "$build/bench/tray_baseline"
  base_starts+=("$MS")
  stop "$PID"
  start_timed Tallowin "$app/tallowin"
  warm_starts+=("$MS")
  stop "$PID"
done
base_ms=$(printf '%s\n' "${base_starts[@]}" | median)
warm_ms=$(printf '%s\n' "${warm_starts[@]}" | median)

start_timed TrayBaseline "$build/bench/tray_baseline"
base_pid=$PID
start_timed Tallowin "$app/tallowin"
pid=$PID
sleep 2
rss_start=$(rss_kb "$pid")
pss_start=$(pss_kb "$pid")
private_start=$(private_kb "$pid")
base_rss=$(rss_kb "$base_pid")
base_pss=$(pss_kb "$base_pid")
base_private=$(private_kb "$base_pid")

echo "minimising and waiting for $polls polls, one a minute" >&2
xdotool windowminimize "$(xdotool search --onlyvisible --name '^Tallowin$' | head -n 1)"
wait_for 10 mailbox_logged_in 1 || fail "no baseline poll"
wait_for 75 mailbox_logged_in 2 || fail "no timer poll"
sleep 1
cpu_before=$(cpu_ms "$pid")
# Wakeups over 40 s that hold no tick, for both programs.
sleep 5
ours0=$(switches "$pid")
base0=$(switches "$base_pid")
sleep 40
ours_wakeups=$((($(switches "$pid") - ours0) * 60 / 40))
base_wakeups=$((($(switches "$base_pid") - base0) * 60 / 40))
wait_for $((75 * polls)) mailbox_logged_in $((polls + 1)) || fail "fewer than $polls polls"
sleep 2
cpu_per_poll=$(awk "BEGIN{printf \"%.2f\", ($(cpu_ms "$pid") - $cpu_before) / ($polls - 1)}")
rss_end=$(rss_kb "$pid")
pss_end=$(pss_kb "$pid")
private_end=$(private_kb "$pid")

ratio() { awk "BEGIN{printf \"%.2fx\", $1 / $2}"; }
cat <<TABLE
Idle benchmark on $(hostname), $(date -Iseconds); baseline: a bare Qt window with a tray icon

| measure | Tallowin | baseline | ratio | target |
|---|---|---|---|---|
| start-up to window shown, speech server running (median of 8 in turn) | $warm_ms ms | $base_ms ms | $(ratio "$warm_ms" "$base_ms") | 1.2x |
| start-up to window shown, speech server started on demand | $cold_ms ms | $base_ms ms | $(ratio "$cold_ms" "$base_ms") | |
| RSS after start | $rss_start KiB | $base_rss KiB | $(ratio "$rss_start" "$base_rss") | |
| PSS after start | $pss_start KiB | $base_pss KiB | $(ratio "$pss_start" "$base_pss") | |
| private memory after start | $private_start KiB | $base_private KiB | $(ratio "$private_start" "$base_private") | |
| RSS after $polls polls | $rss_end KiB | $base_rss KiB | $(ratio "$rss_end" "$base_rss") ($(ratio "$rss_end" "$rss_start") of start) | 1.30x, no growth |
| PSS after $polls polls | $pss_end KiB | | $(ratio "$pss_end" "$pss_start") of start | no growth |
| private memory after $polls polls | $private_end KiB | $base_private KiB | $(ratio "$private_end" "$base_private") | 1.5x |
| whole-process CPU per timer poll | $cpu_per_poll ms | | | 1.5 ms |
| wakeups per minute between ticks (voluntary context switches) | $ours_wakeups | $base_wakeups | | 0 |
TABLE
