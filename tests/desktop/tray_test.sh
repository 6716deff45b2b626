#!/usr/bin/env bash
# The tray icon where the desktop offers a StatusNotifierItem watcher on its
# session bus (KDE Plasma, GNOME with the AppIndicator extension), with a
# watcher and host of the test's own that read the item's tip and picture
# and activate it; and where that watcher has no host yet (a panel still
# starting), so the icon goes to the XEmbed tray and a single click there
# must not count as the double-click. The XEmbed tray is that of a 2x
# screen, where the icon must be drawn from a picture of at least 44 px, not
# from the 32 px one scaled up.
# usage: tray_test.sh TRAY_DRIVER SNI_HOST APP_DIR
source "$(dirname "$0")/desktop.sh"
driver=$1
host=$2
app_dir=$3

start_xvfb
start_wm
start_tray 64
start_session_bus

# The driver reads commands from a pipe: bash keeps one coprocess at a time.
start_driver() {
  rm -f "$WORK/driver.in"
  mkfifo "$WORK/driver.in"
  "$driver" "$@" <"$WORK/driver.in" >"$WORK/driver.out" 2>"$WORK/driver.log" &
  DRIVER_PID=$!
  PIDS+=("$DRIVER_PID")
  exec 4>"$WORK/driver.in"
  wait_for 10 grep -q ready "$WORK/driver.out" || fail "driver did not start"
}
stop_driver_and_host() {
  exec 4>&-
  kill "$DRIVER_PID" "$HOST_PID"
  wait "$DRIVER_PID" "$HOST_PID" 2>/dev/null || true
}

step "a watcher without a host: the icon embeds in the XEmbed tray"
start_sni_host "$host" "$WORK/item.png" --no-host
QT_SCALE_FACTOR=2 start_driver
wait_for 10 has_tray_icon tray_driver || fail "no icon in the XEmbed tray"
sleep 0.5
icon=$(tray_icon_of tray_driver)
xdotool mousemove --window "$icon" 8 8 click 1
sleep 1
visible_window_named TrayDriver && fail "a single click brought the window back"
xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 80 1
wait_for 5 visible_window_named TrayDriver || fail "a double-click did not bring the window back"

step "on a 2x screen the tray draws from a picture of at least 44 px"
echo "icon $app_dir/IsMail.ico" >&4
sleep 1
capture_window "$icon" "$WORK/slot.png"
# The picture alone, without the slot's margins, beside the file's 48 px
# and 32 px pictures cut the same way.
background=$(convert "$WORK/slot.png" -format '%[pixel:p{0,0}]' info:)
convert "$WORK/slot.png" -fuzz 8% -trim +repage "$WORK/tray.png"
read -r w h <<<"$(identify -format '%w %h' "$WORK/tray.png")"
((w >= 40)) || fail "the picture is $w x $h: not the tray of a 2x screen"
for entry in 4:from-48 3:from-32; do
  convert "$app_dir/IsMail.ico[${entry%%:*}]" -background "$background" -flatten \
    -fuzz 8% -trim +repage "$WORK/${entry#*:}.png"
done
[[ $(closest_icon "$WORK/tray.png" "$WORK/from-48.png" "$WORK/from-32.png") == from-48.png ]] ||
  fail "the tray icon is a 32 px picture scaled up"
stop_driver_and_host

step "a watcher with a host: the item registers and carries its tip and picture"
start_sni_host "$host" "$WORK/item.png"
start_driver
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

echo "PASS: tray icon with and without a StatusNotifierItem host"
