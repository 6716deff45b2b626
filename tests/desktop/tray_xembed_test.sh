#!/usr/bin/env bash
# The tray icon in a real XEmbed notification area, worked with the mouse.
# usage: tray_xembed_test.sh TRAY_DRIVER APP_DIR
source "$(dirname "$0")/desktop.sh"
driver=$1
app_dir=$2

start_desktop
coproc DRIVER { "$driver" 2>"$WORK/driver.log"; }
PIDS+=("$DRIVER_PID")
read -r -t 10 line <&"${DRIVER[0]}" && [[ $line == ready ]] || fail "driver did not start"

send() {
  echo "$1" >&"${DRIVER[1]}"
  local reply
  while read -r -t 10 reply <&"${DRIVER[0]}"; do [[ $reply == "done $1" ]] && return; done
  fail "driver did not do: $1"
}


step "the icon embeds in the tray"
wait_for 10 has_tray_icon tray_driver || fail "no tray icon window"
sleep 0.5
icon=$(tray_icon_of tray_driver)
tray_y=$(xwininfo -id "$icon" | awk '/Absolute upper-left Y/{print $NF}')
((tray_y < 32)) || fail "the icon is not in the tray panel at the top"
visible_window_named TrayDriver && fail "the window shows before any click"

step "a single click changes nothing"
xdotool mousemove --window "$icon" 8 8 click 1
sleep 1
visible_window_named TrayDriver && fail "a single click brought the window back"

step "a double-click brings the window back"
xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 80 1
wait_for 5 visible_window_named TrayDriver || fail "a double-click did not bring the window back"

step "refreshing the icon shows the window's new picture"
send "icon $app_dir/Mail.ico"
sleep 0.5
capture_window "$icon" "$WORK/mail.png"
[[ $(closest_icon "$WORK/mail.png" "$app_dir/Mail.ico" "$app_dir/IsMail.ico") == Mail.ico ]] ||
  fail "the tray does not show Mail.ico"
send "icon $app_dir/IsMail.ico"
sleep 0.5
capture_window "$icon" "$WORK/ismail.png"
[[ $(closest_icon "$WORK/ismail.png" "$app_dir/Mail.ico" "$app_dir/IsMail.ico") == IsMail.ico ]] ||
  fail "the tray does not show IsMail.ico"

step "removing takes the icon away"
send "remove"
wait_for 5 no_tray_icon tray_driver || fail "the icon is still there"

echo "PASS: tray icon on an XEmbed tray"
