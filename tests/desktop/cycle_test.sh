#!/usr/bin/env bash
# The installed program on a real desktop, started as that desktop starts
# it, against a real POP3 server on port 110 and a real speech server, in
# network, mount and process namespaces of the test's own: minimised, it
# counts and hides into the tray; a tick finds new mail and the item
# changes; a click on the item restores; minimised with the
# server down, the box leaves the window minimised, and once it is answered
# the window hides all the same. DESKTOP.sh beside this file brings the
# desktop's own ways: desktop_start VARIANT (setting LAUNCHER, if the
# program is started through one, and ARGS=(--minimized) to start it as at
# login, first into the tray), desktop_minimise WINDOW,
# desktop_item_shown, desktop_item_picture FILE, desktop_click (what
# restores), desktop_return BOX, and optionally desktop_window_checks.
# usage: cycle_test.sh BUILD_DIR ARTIFACT_DIR DESKTOP [VARIANT]
NAMESPACES="--net --mount --pid --fork --kill-child --mount-proc"
here=$(dirname "$0")
source "$here/desktop.sh"
source "$here/$3.sh"
build=$1
# The desktop's X server has sockets of its own.
mount -t tmpfs tmpfs /tmp/.X11-unix
install_program "$build" "$(realpath -m "$2")"  # the Shell writes pictures there

# A user name with every descender, shown in the field as it is typed.
user=gjpqy_
mailbox_start "$WORK/dovecot" 110 "$user" secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
start_speechd
ARGS=()
desktop_start "${4:-}"
config_ini 127.0.0.1 "$user" secret

# The window, found once: the box bears its title too.
main_window_found() { MAIN=$(main_window) && [[ -n $MAIN ]]; }

start_program "${ARGS[@]}"
wait_for 20 main_window_found || fail "no window: $(cat "$WORK/program.log")"
if ((${#ARGS[@]})); then
  step "started at login: the first count, the window hides, and a click on the item brings it back"
  wait_for 10 mailbox_logged_in 1 || fail "no poll at the start"
  wait_for 20 window_hidden "$MAIN" || fail "the window was not hidden"
  wait_for 20 desktop_item_shown || fail "no item in the tray"
  desktop_click
fi
wait_for 20 window_shown "$MAIN" || fail "the window did not show: $(cat "$WORK/program.log")"
wait_for 20 desktop_item_shown || fail "no item in the tray"
((${#ARGS[@]} || $(mailbox_logins) == 0)) || fail "a poll before any minimise"
! declare -F desktop_window_checks >/dev/null || desktop_window_checks

step "minimised: the baseline poll, and the window hides"
polls=$(mailbox_logins)
desktop_minimise "$MAIN"
wait_for 10 mailbox_logged_in $((polls + 1)) || fail "no poll at the minimise"
wait_for 10 window_hidden "$MAIN" || fail "the window was not hidden"
desktop_item_picture "$ARTIFACTS/item-first.png"

step "new mail: a tick after the hide polls; the item changes"
mailbox_deliver one
wait_for 75 mailbox_logged_in $((polls + 2)) || fail "no tick polled after the hide"
wait_for 5 spoken_at_least 1 || true  # the tick has ended: the new picture is set
sleep 1  # and drawn
desktop_item_picture "$ARTIFACTS/item-new-mail.png"
# compare: 0 the same, 1 different, 2 it could not compare them.
changed=0
compare -metric AE "$ARTIFACTS"/item-{first,new-mail}.png null: 2>/dev/null || changed=$?
((changed == 1)) || fail "the item's picture did not change (compare said $changed)"

step "a click on the item brings the window back"
desktop_click
wait_for 10 window_shown "$MAIN" || fail "the window did not come back"

step "minimised with the server down: the box, the window stays minimised, and hides once the box is dismissed"
mailbox_stop
desktop_minimise "$MAIN"
wait_for 10 box_window || fail "no box: $(cat "$WORK/program.log")"
# A window manager that restores the window for the box does so as it maps.
! wait_for 1 window_shown "$MAIN" || fail "the box brought the window back"
window_iconic "$MAIN" || fail "the window is not minimised under the box"
desktop_return "$(box_window)"
wait_for 10 window_hidden "$MAIN" || fail "the window was not hidden after the box"
desktop_item_shown || fail "the item left the tray"
kill -0 "$PROGRAM" 2>/dev/null || fail "the program ended: $(cat "$WORK/program.log")"
echo "PASS: the whole program on $3 ${4:-}"
