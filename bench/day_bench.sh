#!/usr/bin/env bash
# A simulated day of the notifier: two of it, one polling pop3:// and one
# pop3s://, under libfaketime at ten times speed (a tick every 6 s real),
# on a private desktop against a private dovecot, with mail coming and
# going, the server down for one simulated hour and the error boxes of that
# hour dismissed as a user would (bench/day_sample.py). RSS, private memory,
# descriptors and threads every simulated ten minutes; polls, failed polls
# and announcements by hour. Prints the table and draws PLOT (a PNG).
# Runs in a mount namespace of its own, where the tests' certificate for
# localhost is trusted. HOURS defaults to 24: 1,440 ticks, 2.4 hours real.
# --install installs libfaketime and gnuplot first.
# usage: day_bench.sh [--install] BUILD_DIR [HOURS [PLOT]]
bench=$(cd "$(dirname "$0")" && pwd)
if [[ ${1:-} == --install ]]; then
  "$bench/../scripts/ensure-packages.sh" --no-install-recommends faketime libfaketime gnuplot-nox
  shift
fi
if [[ -z ${DAY_BENCH_NAMESPACE:-} ]]; then
  exec env DAY_BENCH_NAMESPACE=1 unshare --mount --propagation private bash "$0" "$@"
fi
source "$bench/../tests/desktop/desktop.sh"
source "$bench/../scripts/mailbox.sh"
source "$bench/../scripts/program_folder.sh"
source "$bench/../tests/support/speechd.sh"
source "$bench/../tests/support/test_ca.sh"
source "$bench/peers.sh"
build=$(cd "$1" && pwd)
hours=${2:-24}
plot=$(realpath -m "${3:-day_bench.png}")
speed=10
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1
[[ -f $faketime_lib ]] || fail "libfaketime is missing (--install installs it)"
command -v gnuplot >/dev/null || fail "gnuplot is missing (--install installs it)"
trap 'mailbox_stop; stop_all' EXIT

start_xvfb
start_wm
start_tray
trust_test_ca
port=$(mailbox_free_port)
tls_port=$(mailbox_free_port)
[[ $tls_port != "$port" ]] || tls_port=$((port + 1))
MAILBOX_TLS_PORT=$tls_port MAILBOX_TLS_CERT=$TEST_CA_CERT MAILBOX_TLS_KEY=$TEST_CA_KEY \
  mailbox_start "$WORK/mailbox" "$port" plain pw-plain || fail "dovecot did not start"
mailbox_add_user tls pw-tls

# The main window of the process; its tray icon bears its title too.
main_window_of() { program_window 'w > 64' --all --onlyvisible --pid "$1" --name '^Tallowin$'; }
has_main_window() { [[ -n $(main_window_of "$1") ]]; }

# Each program with a speech server of its own, whose log counts its
# announcements.
programs=()
for kind in plain tls; do
  WORK=$WORK/$kind start_speechd
  server=pop3://127.0.0.1:$port
  [[ $kind == tls ]] && server=pop3s://localhost:$tls_port
  program_folder "$WORK/$kind/app" "$build/app" "$server" "$kind" "pw-$kind"
  LD_PRELOAD=$faketime_lib FAKETIME="+0 x$speed" "$WORK/$kind/app/tallowin" \
    >"$WORK/$kind.log" 2>&1 &
  PIDS+=($!)
  pid=$!
  wait_for 10 has_main_window "$pid" || fail "no window from the $kind program"
  xdotool windowminimize "$(main_window_of "$pid")"
  programs+=("$kind:$pid:$kind:$MAILBOX_DIR/mail/$kind/Maildir:$SPEECHD_LOG")
done

echo "a simulated day of $hours hours, $((hours * 6)) minutes real" >&2
echo "Day benchmark on $(hostname), $(date -Iseconds): $hours simulated hours at x$speed"
echo
python3 "$bench/day_sample.py" "$hours" "$speed" "$MAILBOX_DIR/dovecot.conf" "$WORK" \
  "${programs[@]}" || fail "the run did not complete"

gnuplot <<PLOT
set terminal pngcairo size 900,600 font "Sans,9"
set output "$plot"
set multiplot layout 2,1 title "Tallowin over $hours simulated hours at x$speed"
set xlabel "simulated hour"
set ylabel "KiB"
set key outside right
plot "$WORK/day.dat" using (\$1/60):2 with linespoints title "plain RSS", \
     "" using (\$1/60):3 with linespoints title "plain private", \
     "" using (\$1/60):9 with linespoints title "TLS RSS", \
     "" using (\$1/60):10 with linespoints title "TLS private"
set ylabel "count"
plot "$WORK/day.dat" using (\$1/60):4 with linespoints title "plain fds", \
     "" using (\$1/60):5 with linespoints title "plain threads", \
     "" using (\$1/60):11 with linespoints title "TLS fds", \
     "" using (\$1/60):12 with linespoints title "TLS threads"
unset multiplot
PLOT
echo
echo "Plot: $plot"
