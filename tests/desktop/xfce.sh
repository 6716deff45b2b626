# XFCE on an X server of its own, as cycle_test.sh drives it: xfwm4, and
# xfce4-panel along the top with a task list and the notification area,
# which hosts StatusNotifierItems and XEmbed icons both. Variant "xembed"
# starts the program on a session bus of its own, where no watcher is:
# Qt then embeds an XEmbed icon in the same notification area. Variant
# "session" is a login: xfce4-session starts the two, then the user's
# autostart entries, and restores the session saved at the last logout
# (desktop_logout).
# shellcheck shell=bash

# The settings of the panel and the session manager, as they keep them.
XFCE_CHANNELS=$(dirname "${BASH_SOURCE[0]}")/xfce

desktop_start() {
  XFCE_TRAY=${1:-item}
  XFCE_FIRST=${#PIDS[@]}
  export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_CACHE_HOME=$WORK/home/.cache
  local channels=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$channels"
  # The panel's own first start would ask which layout to take.
  cp "$XFCE_CHANNELS/xfce4-panel.xml" "$channels/"
  start_xvfb
  start_session_bus
  if [[ $XFCE_TRAY == session ]]; then
    # Saved at every logout; XFCE's failsafe session with only the two.
    cp "$XFCE_CHANNELS/xfce4-session.xml" "$channels/"
    # XFCE's own defaults, but not the autostart entries of other desktops.
    mkdir -p "$WORK/xdg"
    ln -sfn /etc/xdg/xfce4 "$WORK/xdg/xfce4"
    XDG_CONFIG_DIRS=$WORK/xdg spawn session xfce4-session
    XFCE_SESSION=$!
  else
    start_wm xfwm4 --compositor=off
    spawn panel xfce4-panel
  fi
  wait_for 20 sn_watcher org.freedesktop.DBus.Peer.Ping ||
    fail "the panel's notification area did not start: $(cat "$WORK/panel.log")"
  [[ $XFCE_TRAY != xembed ]] || LAUNCHER=(dbus-run-session --)
  # As the autostart entry starts it: xfwm4, unlike openbox, maps a window
  # iconic again while its hints still ask for the state it was first shown in.
  ARGS=(--minimized)
}

# The session's Log Out, which saves it; then the X server goes, as after
# a real logout.
desktop_logout() {
  xfce4-session-logout --logout
  wait_for 20 ended "$XFCE_SESSION" || fail "the session did not end: $(cat "$WORK/session.log")"
  stop_from "$XFCE_FIRST"
}

desktop_minimise() { xdotool windowminimize "$1"; }

# The XEmbed icon; or the item, where the panel's notification area (at its
# right end) draws the red of the mailbox's flag, which each of the
# program's pictures has and nothing else there: ITEM_AT, the flag's centre.
desktop_item_shown() {
  if [[ $XFCE_TRAY == xembed ]]; then
    has_tray_icon
    return
  fi
  local w h x y
  import -window root "$WORK/screen.png" || return
  read -r w h x y < <(convert "$WORK/screen.png" -crop 512x32+512+0 +repage -fuzz 25% \
    -fill '#00ff01' -opaque red -fuzz 0 -fill black +opaque '#00ff01' -format '%@' info: 2>/dev/null |
    tr 'x+' '  ')
  ((w > 0)) && ITEM_AT="$((512 + x + w / 2)) $((y + h / 2))"
}
desktop_item_picture() {
  if [[ $XFCE_TRAY == xembed ]]; then
    import -window "$(tray_icon)" "$1"
    return
  fi
  local x y
  read -r x y <<<"$ITEM_AT"
  import -window root -crop "48x48+$((x - 24))+$((y > 24 ? y - 24 : 0))" +repage "$1"
}

# On the XEmbed icon one click does nothing and a double click restores; an
# item takes each click as an activation.
desktop_click() {
  if [[ $XFCE_TRAY == xembed ]]; then
    xdotool mousemove --window "$(tray_icon)" 8 8 click --repeat 2 --delay 120 1
  else
    # shellcheck disable=SC2086
    xdotool mousemove $ITEM_AT click 1
  fi
  xdotool mousemove 500 500
}
desktop_return() { timeout 5 xdotool windowactivate --sync "$1" key Return; }
