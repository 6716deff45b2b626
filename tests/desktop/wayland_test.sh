#!/usr/bin/env bash
# The program on a Wayland desktop, launched as a desktop launches it: KDE's
# compositor kwin_wayland, headless, with Xwayland, both WAYLAND_DISPLAY and
# DISPLAY set, Qt's Wayland plugin installed and no platform chosen. The
# compositor minimises the window; the watching must start as on X11, with
# the tray a StatusNotifierItem host on the session bus.
# usage: wayland_test.sh APP_DIR SNI_HOST
if [[ -z ${TALLOWIN_IN_MOUNTNS:-} ]]; then
  export TALLOWIN_IN_MOUNTNS=1
  exec unshare --mount -- bash "$0" "$@"
fi
source "$(dirname "$0")/desktop.sh"
source "$(dirname "$0")/../../scripts/mailbox.sh"
source "$(dirname "$0")/../../scripts/program_folder.sh"
source "$(dirname "$0")/../support/speechd.sh"
built_app=$1
sni_host=$2

# kwin_wayland carries a file capability that a container may refuse to
# execute, and loads its platform only when run from its own path: put a
# copy without the capability in its place, in this namespace alone.
cp /usr/bin/kwin_wayland "$WORK/kwin_wayland"
mount --bind "$WORK/kwin_wayland" /usr/bin/kwin_wayland

export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY QT_QPA_PLATFORM
start_session_bus
start_sni_host "$sni_host" "$WORK/item.png"
port=$(mailbox_free_port)
mailbox_start "$WORK/mailbox" "$port" alice secret || fail "dovecot did not start"
PIDS+=("$MAILBOX_PID")
mailbox_deliver first
start_speechd
program_folder "$WORK/app" "$built_app" "pop3://127.0.0.1:$port" alice secret

# kwin_wayland starts the program itself, with its displays set; the
# launcher tells the test which X display Xwayland has.
cat >"$WORK/launch" <<LAUNCH
#!/bin/sh
echo "\$DISPLAY" >"$WORK/xdisplay.tmp" && mv "$WORK/xdisplay.tmp" "$WORK/xdisplay"
exec "$WORK/app/tallowin" >"$WORK/program.log" 2>&1
LAUNCH
chmod +x "$WORK/launch"
kwin_wayland --virtual --xwayland --socket "wayland-tallowin-$$" --width 1024 --height 768 \
  "$WORK/launch" >"$WORK/kwin.log" 2>&1 &
PIDS+=($!)

step "the program starts in the compositor and shows its window"
wait_for 30 test -s "$WORK/xdisplay" || fail "kwin_wayland did not start: $(tail "$WORK/kwin.log")"
export DISPLAY=$(cat "$WORK/xdisplay")
wait_for 20 visible_window_named Tallowin || fail "no window: $(cat "$WORK/program.log")"
expect_host "registered "

step "the compositor minimises it: a poll, and the window hides"
cat >"$WORK/minimise.js" <<'JS'
workspace.clientList().forEach(function (c) {
  if (c.caption === "Tallowin") c.minimized = true;
});
JS
kwin() { dbus-send --session --print-reply --dest=org.kde.KWin "$@"; }
id=$(kwin /Scripting org.kde.kwin.Scripting.loadScript string:"$WORK/minimise.js" \
  string:tallowin-minimise | awk '/int32/{print $2}')
[[ -n $id ]] || fail "KWin did not load the script"
kwin "/Scripting/Script$id" org.kde.kwin.Script.run >/dev/null 2>&1 ||
  kwin "/$id" org.kde.kwin.Script.run >/dev/null || fail "KWin did not run the script"
wait_for 10 mailbox_logged_in 1 || fail "the baseline poll did not reach the server"
wait_for 10 window_hidden || fail "the window was not hidden"

step "new mail: a tick polls, and the tray shows IsMail.ico"
mailbox_deliver second
wait_for 75 mailbox_logged_in 2 || fail "no tick polled"
item_shows() {
  [[ $(closest_icon "$WORK/item.png" "$WORK/app/Mail.ico" "$WORK/app/IsMail.ico") == "$1" ]]
}
wait_for 10 item_shows IsMail.ico || fail "the tray does not show IsMail.ico"

echo "PASS: watching on a Wayland desktop through Xwayland"
