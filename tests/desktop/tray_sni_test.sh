#!/usr/bin/env bash
# The tray icon with a StatusNotifierItem host (KDE Plasma, GNOME with the
# AppIndicator extension): a private session bus and a host of the test's
# own, which reads the item's tip and picture and activates it.
# usage: tray_sni_test.sh TRAY_DRIVER SNI_HOST APP_DIR
source "$(dirname "$0")/desktop.sh"
driver=$1
host=$2
app_dir=$3

start_xvfb
dbus-daemon --session --nofork --address="unix:path=$WORK/bus" --print-address=3 \
  3>"$WORK/bus-address" >/dev/null 2>&1 &
PIDS+=($!)
wait_for 10 test -s "$WORK/bus-address" || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/bus-address")

coproc HOST { "$host" "$WORK/item.png" 2>"$WORK/host.log"; }
PIDS+=("$HOST_PID")
expect_host() {
  local line
  while read -r -t 10 line <&"${HOST[0]}"; do
    if [[ $line == "$1"* ]]; then
      REPLY=${line#"$1"}
      return 0
    fi
  done
  fail "the host never said: $1"
}
expect_host ready

# The driver reads commands from a pipe: bash keeps one coprocess at a time.
mkfifo "$WORK/driver.in"
"$driver" <"$WORK/driver.in" >"$WORK/driver.out" 2>"$WORK/driver.log" &
PIDS+=($!)
exec 4>"$WORK/driver.in"
wait_for 10 grep -q ready "$WORK/driver.out" || fail "driver did not start"

step "the item registers with the watcher and carries its tip and picture"
expect_host "registered "
expect_host "tooltip "
[[ $REPLY == "Tallowin v1.00" ]] || fail "the tip is '$REPLY'"
expect_host "icon "

step "refreshing the icon sends the window's new picture"
for icon in Mail.ico IsMail.ico; do
  echo "icon $app_dir/$icon" >&4
  expect_host "icon "
  [[ $(closest_icon "$WORK/item.png" "$app_dir/Mail.ico" "$app_dir/IsMail.ico") == "$icon" ]] ||
    fail "the item does not show $icon"
done

step "activating the item brings the window back"
visible_window_named TrayDriver && fail "the window shows before any activation"
echo activate >&"${HOST[1]}"
wait_for 5 visible_window_named TrayDriver || fail "activation did not bring the window back"

echo "PASS: tray icon with a StatusNotifierItem host"
