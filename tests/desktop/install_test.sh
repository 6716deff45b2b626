#!/usr/bin/env bash
# The installed program, as an ordinary user, from a program folder that
# user cannot write: the first run saves the settings to the user's config
# folder; a run started at login (--minimized) loads them, polls, waits on
# the taskbar for a notification area that comes up later, then moves into
# it; the folder it was installed in stays as it was.
# usage: install_test.sh BUILD_DIR
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/../support/speechd.sh"
build=$1

stage=$WORK/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$WORK/install.log" ||
  fail "install failed: $(cat "$WORK/install.log")"
[[ -L $stage/usr/bin/tallowin ]] || fail "bin/tallowin is not a link"
installed() { (cd "$stage" && find . -printf '%p %m %s %T@\n' | sort); }
installed >"$WORK/installed.before"

port=$(mailbox_free_port)
mailbox_start "$WORK/mailbox" "$port" alice secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
start_speechd
chmod 777 "$WORK/speechd" "${SPEECHD_ADDRESS#unix_socket:}"
start_xvfb
start_wm

home=$WORK/home
mkdir -m 700 "$home" "$home/runtime"
chown -R nobody:nogroup "$home"
as_user() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$home" XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME= "$@"
}
config=$home/.config/tallowin/config.ini
mode() { stat -c %a "$1"; }

step "first run: the settings typed in are saved in the user's config folder"
as_user "$stage/usr/bin/tallowin" >"$WORK/first.log" 2>&1 &
first=$!
PIDS+=("$first")
wait_for 15 window_shown || fail "the window did not show: $(cat "$WORK/first.log")"
xdotool windowactivate --sync "$(main_window)"
xdotool type --delay 10 "pop3://127.0.0.1:$port"
xdotool key Tab type --delay 10 alice
xdotool key Tab type --delay 10 secret
xdotool key alt+F4
wait_for 10 bash -c "! kill -0 $first" || fail "the program did not end"
[[ -f $config ]] || fail "no config.ini in the user's config folder: $(cat "$WORK/first.log")"
[[ $(mode "$(dirname "$config")") == 700 ]] || fail "the folder has mode $(mode "$(dirname "$config")")"
[[ $(mode "$config") == 600 ]] || fail "config.ini has mode $(mode "$config")"
grep -qx "Servername=pop3://127.0.0.1:$port" "$config" || fail "config.ini holds: $(cat "$config")"

step "started at login: minimised at once, it polls with the saved settings"
# Records every state the window manager gives the window.
(while :; do
  id=$(main_window)
  [[ -n $id ]] && wm_state "$id" >>"$WORK/states"
  sleep 0.05
done) &
PIDS+=($!)
as_user "$stage/usr/bin/tallowin" --minimized >"$WORK/login.log" 2>&1 &
PIDS+=($!)
wait_for 15 mailbox_logged_in 1 || fail "no poll reached the server: $(cat "$WORK/login.log")"
wait_for 5 window_iconic || fail "with no notification area the window is not on the taskbar"

step "the notification area comes up later: the window moves into it"
start_tray
wait_for 10 has_tray_icon tallowin || fail "no tray icon"
wait_for 10 window_hidden || fail "the window stayed on the taskbar"
grep -q Normal "$WORK/states" && fail "the window was shown as a normal window"

step "brought back and closed: saved again, privately"
xdotool mousemove --window "$(tray_icon_of tallowin)" 8 8 click --repeat 2 --delay 80 1
wait_for 5 window_shown || fail "a double-click did not bring the window back"
xdotool windowactivate --sync "$(main_window)" key alt+F4
wait_for 10 no_tray_icon tallowin || fail "the program did not end"
[[ $(mode "$config") == 600 ]] || fail "config.ini has mode $(mode "$config")"
grep -qx "Username=alice" "$config" || fail "config.ini holds: $(cat "$config")"

installed | cmp -s - "$WORK/installed.before" || fail "the installed folder changed"
echo "PASS: the installed program, as an ordinary user"
