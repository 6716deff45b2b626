#!/usr/bin/env bash
# The installed program on a real GNOME Shell, started as a GNOME session
# starts it, against a real POP3 server on port 110 and a real speech
# server, in a network and mount namespace of the test's own: minimised
# through the Shell, hidden, polling at the ticks after the hide, showing
# new mail in the top bar's item and announcing it, brought back by a click
# on the item; its fields' text whole in GNOME's own font.
# usage: gnome_test.sh BUILD_DIR ARTIFACT_DIR
if [[ -z ${TALLOWIN_IN_NETNS:-} ]]; then
  export TALLOWIN_IN_NETNS=1
  exec unshare --net --mount -- bash "$0" "$@"
fi
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/gnome.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/../support/speechd.sh"
ip link set lo up
build=$1
install_program "$build" "$2"

start_gnome
# A user name with every descender, shown in the field as it is typed.
user=gjpqy_
mailbox_start "$WORK/dovecot" 110 "$user" secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
start_speechd
spoken() { grep -c 'Queueing message |Tallowin| with priority 2' "$SPEECHD_LOG" || true; }
printf '[POP3]\nServername=127.0.0.1\nUsername=%s\nPassword=secret\n' "$user" >"$app/config.ini"

spawn program "$WORK/stage/usr/bin/tallowin"
wait_for 20 shell_window_shown || fail "the window did not show: $(cat "$WORK/program.log")"
wait_for 10 shell_item_shown || fail "no item in the top bar"

step "GNOME's font: the fields' text is whole"
wait_for 5 shell_true "$SHELL_WINDOW.get_frame_rect().y > 0" || fail "the window was not placed"
sleep 0.5
shell_window_capture "$ARTIFACTS/window.png"  # for a person to look at
# The window's fields, drawn in the font this session gives, against the
# same text drawn whole.
QT_QPA_PLATFORM=xcb "$build/tests/frm_main_test" textIsWholeInTheDesktopsFont >"$WORK/fields.log" 2>&1 ||
  fail "text is cut off in the fields: $(cat "$WORK/fields.log")"
grep -q "the desktop's font: Cantarell,11" "$WORK/fields.log" ||
  fail "not GNOME's font: $(grep "desktop's font" "$WORK/fields.log")"

step "minimised through the Shell: the baseline poll, and the window hides"
shell_eval "$SHELL_WINDOW.minimize()" >/dev/null
wait_for 10 mailbox_logged_in 1 || fail "no poll at the minimise"
wait_for 10 shell_window_gone || fail "the window was not hidden"
sleep 1
shell_item_capture "$ARTIFACTS/item-first.png"

step "new mail: a tick after the hide polls; the item changes and \"Tallowin\" is queued"
mailbox_deliver one
wait_for 75 mailbox_logged_in 2 || fail "no tick polled after the hide"
wait_for 5 bash -c "(($(spoken) >= 1))" || true
sleep 1
(($(spoken) == 1)) || fail "\"Tallowin\" was queued $(spoken) times, not once"
shell_item_capture "$ARTIFACTS/item-new-mail.png"
[[ $(compare -metric AE "$ARTIFACTS"/item-{first,new-mail}.png null: 2>&1) != 0 ]] ||
  fail "the item's picture did not change"

step "a click on the item in the top bar brings the window back"
# The extension activates on the first click of a new item, and on a
# double click from then on.
shell_item_click
sleep 0.1
shell_item_click
shell_pointer_away
wait_for 10 shell_window_shown || fail "the window did not come back"
echo "PASS: the whole program on GNOME"
