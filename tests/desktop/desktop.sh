# A private X desktop for tests: Xvfb, the openbox window manager and the
# trayer notification area, all stopped again when the test's shell exits;
# a real POP3 server (scripts/mailbox.sh) and speech server
# (support/speechd.sh) beside it. Sourced by the desktop scenarios and the
# benchmarks.
# shellcheck shell=bash
set -euo pipefail
# A test that names the namespaces it needs (NAMESPACES, unshare's options)
# starts over inside them.
if [[ -n ${NAMESPACES:-} && -z ${TALLOWIN_IN_NAMESPACES:-} ]]; then
  export TALLOWIN_IN_NAMESPACES=1
  # shellcheck disable=SC2086
  exec unshare $NAMESPACES -- bash "$0" "$@"
fi
[[ ${NAMESPACES:-} != *--net* ]] || ip link set lo up
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/mailbox.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../support/speechd.sh"

WORK=$(mktemp -d)
chmod 755 "$WORK"
PIDS=()

# stop_from N: stops, last first, what was started since PIDS held N.
stop_from() {
  local i
  for ((i = ${#PIDS[@]} - 1; i >= $1; i--)); do
    kill "${PIDS[i]}" 2>/dev/null || true
    # What has not ended 10 s after TERM (KWin may not) is killed.
    wait_for 10 ended "${PIDS[i]}" || kill -KILL "${PIDS[i]}" 2>/dev/null || true
    wait "${PIDS[i]}" 2>/dev/null || true
  done
  PIDS=("${PIDS[@]:0:$1}")
}
stop_all() {
  mailbox_stop
  stop_from 0
  rm -rf "$WORK"
}
# ended PID: gone, or a child that ended and waits to be reaped.
ended() { [[ $(ps -o stat= -p "$1") != [!Z]* ]]; }
trap stop_all EXIT

# screenshot FILE: the whole screen (a desktop whose X server does not see
# it all brings its own).
screenshot() { import -window root "$1"; }

# fail WHY: ends the test; a test that names an ARTIFACTS folder finds the
# screen and the logs there.
fail() {
  if [[ -n ${ARTIFACTS:-} ]]; then
    screenshot "$ARTIFACTS/failure.png" >/dev/null 2>&1 || true
    cp "$WORK"/*.log "$WORK"/speechd/log/*.log "$ARTIFACTS/" 2>/dev/null || true
  fi
  echo "FAIL: $*" >&2
  exit 1
}

step() { echo "--- $*"; }

# spawn NAME COMMAND...: runs the command in the background until the test's
# shell exits, its output in $WORK/NAME.log.
spawn() {
  "${@:2}" >"$WORK/$1.log" 2>&1 &
  PIDS+=($!)
}

# install_program BUILD_DIR ARTIFACT_DIR: installs the build as its package
# would, in $WORK/stage, and empties the folder where a failure leaves the
# screen and the logs (ARTIFACTS); app is the program's folder.
install_program() {
  ARTIFACTS=$2
  rm -rf "$ARTIFACTS"
  mkdir -p "$ARTIFACTS"
  DESTDIR=$WORK/stage cmake --install "$1" --prefix /usr >/dev/null || fail "install failed"
  app=$WORK/stage/usr/lib/tallowin
}
# config_ini SERVER USER PASSWORD: the settings the installed program reads.
config_ini() { printf '[POP3]\nServername=%s\nUsername=%s\nPassword=%s\n' "$@" >"$app/config.ini"; }
# start_program ARGS...: the installed link, through LAUNCHER (a command
# and its arguments) where the session starts it through one; its PID in
# PROGRAM, its output in program.log.
LAUNCHER=()
start_program() {
  spawn program "${LAUNCHER[@]}" "$WORK/stage/usr/bin/tallowin" "$@"
  PROGRAM=$!
}
# program_ended [SECONDS]: the program is gone within 10 s, or SECONDS.
program_ended() { wait_for "${1:-10}" bash -c "! kill -0 $PROGRAM"; }

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# An X server alone, with no session bus in reach. A later call (the next
# login) starts a fresh one on the same display number, as a display manager
# does, once the last has ended; its sockets must be the test's own (network
# namespace, /tmp/.X11-unix), as the number's lock may be another's by then.
start_xvfb() {
  unset DBUS_SESSION_BUS_ADDRESS
  export XDG_RUNTIME_DIR=$WORK/runtime
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  local number=()
  [[ ! -s $WORK/display ]] || number=(":$(cat "$WORK/display")" -nolock)
  spawn xvfb Xvfb "${number[@]}" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$WORK/display"
  wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  export DISPLAY=:$(cat "$WORK/display")
}

# start_wm [COMMAND...]: a window manager; openbox, a light one, unless named.
start_wm() {
  (($#)) || set -- openbox --sm-disable
  spawn wm "$@"
  wait_for 10 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    fail "$1 did not start"
}
# trayer, an XEmbed notification area.
start_tray() {
  spawn trayer trayer --edge top --align right --height 32 --widthtype request
  wait_for 10 xdotool search --class trayer || fail "trayer did not start"
}

# wm_state ID: the window manager's word for the window: Normal or Iconic
# (minimised); a hidden window may keep its last word.
wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | awk '/window state:/{print $3}'; }

# start_session_bus [system]: a private session bus, for the desktop's D-Bus
# services; or one in the system bus's place, as open to all as a session's.
start_session_bus() {
  local bus=${1:-session}
  spawn "$bus-bus" dbus-daemon --session --nofork --address="unix:path=$WORK/$bus-bus" \
    --print-address=3 3>"$WORK/$bus-bus.address"
  wait_for 10 test -s "$WORK/$bus-bus.address" || fail "dbus-daemon did not start"
  export "DBUS_${bus^^}_BUS_ADDRESS=$(head -n 1 "$WORK/$bus-bus.address")"
}


# "${FAST_CLOCK[@]}" COMMAND...: the command (its own PID) with its clock
# run ten times fast, so that the program ticks every TICK real seconds.
readonly TICK=6
FAST_CLOCK=(env LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1 FAKETIME="+0 x10")
# polls USER: USER's polls in the mailbox's log, counted when the client has
# gone: the count is taken by then.
polls() { grep -c "pop3($1).*Disconnected" "$MAILBOX_LOG" || true; }

# sn_watcher METHOD ARGS...: a call to the StatusNotifierItem watcher;
# sn_items: the items registered there ("SERVICE/PATH" a line), false if none.
sn_watcher() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method "$@"
}
sn_items() {
  sn_watcher org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems | grep -o "'[^']*'" | tr -d "'" | grep .
}

# program_window TEST SEARCH...: the first window xdotool's search finds
# whose width w passes the test: the program's tray icon, which bears its
# title too, is no wider than a tray slot.
program_window() {
  local id w
  for id in $(timeout 5 xdotool search "${@:2}" 2>/dev/null); do
    w=$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/{print $NF}')
    if [[ -n $w ]] && (($1)); then echo "$id" && return; fi
  done
}
tray_icon() { program_window 'w <= 64' --onlyvisible --class tallowin; }
has_tray_icon() { [[ -n $(tray_icon) ]]; }
# mutter 44 and later frame a window with an X window of its own that bears
# the window's title, but not its class.
main_window() { program_window 'w > 64' --all --class --name '^Tallowin$'; }
# box_window [SEARCH...]: an error box of the program's: of the visible
# windows that bear its title and class (and match SEARCH: all of it), the
# dialog.
box_window() {
  local id
  for id in $(timeout 5 xdotool search --all --onlyvisible "$@" --class --name '^Tallowin$' 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q DIALOG && echo "$id" && return
  done
  return 1
}
# viewable ID: (xwininfo without an ID waits for a click on a window.)
viewable() { [[ -n $1 ]] && xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
# Shown, minimised on the taskbar, or hidden into the tray: to a check for
# visibility the last two look alike. The window manager's list of the
# windows it manages (what a taskbar shows) tells them apart.
managed() {
  xprop -root _NET_CLIENT_LIST | grep -qiw "$(printf '0x%x' "$1")"
}
# Each of the window ID, or else of the one main_window finds; hidden, not
# gone: a program that died is missing from the list as well.
window_shown() { [[ $(wm_state "${1:-$(main_window)}") == Normal ]]; }
window_iconic() {
  local id=${1:-$(main_window)}
  [[ -n $id ]] && managed "$id" && [[ $(wm_state "$id") == Iconic ]]
}
window_hidden() {
  local id=${1:-$(main_window)}
  [[ -n $id ]] && xwininfo -id "$id" >/dev/null 2>&1 && ! managed "$id"
}
