# XFCE on an X server of its own, as cycle_test.sh drives it: xfwm4, and
# xfce4-panel along the top with a task list and the notification area,
# which hosts StatusNotifierItems and XEmbed icons both. Variant "xembed"
# starts the program on a session bus of its own, where no watcher is:
# Qt then embeds an XEmbed icon in the same notification area. Variant
# "session" is a login: xfce4-session starts the two, then the user's
# autostart entries, and restores the session saved at the last logout
# (desktop_logout).
# shellcheck shell=bash

desktop_start() {
  XFCE_TRAY=${1:-item}
  XFCE_FIRST=${#PIDS[@]}
  export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_CACHE_HOME=$WORK/home/.cache
  local channels=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$channels"
  # The panel's own first start would ask which layout to take.
  cat >"$channels/xfce4-panel.xml" <<'XML'
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array"><value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/><property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/><value type="int" value="2"/><value type="int" value="3"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="tasklist"/>
    <property name="plugin-2" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-3" type="string" value="systray"/>
  </property>
</channel>
XML
  start_xvfb
  start_session_bus
  if [[ $XFCE_TRAY == session ]]; then
    # Saved at every logout; XFCE's failsafe session with only the two.
    cat >"$channels/xfce4-session.xml" <<'XML'
<channel name="xfce4-session" version="1.0">
  <property name="general" type="empty"><property name="SaveOnExit" type="bool" value="true"/></property>
  <property name="sessions" type="empty"><property name="Failsafe" type="empty">
    <property name="Count" type="int" value="2"/>
    <property name="Client0_Command" type="array"><value type="string" value="xfwm4"/><value type="string" value="--compositor=off"/></property>
    <property name="Client1_Command" type="array"><value type="string" value="xfce4-panel"/></property>
  </property></property>
</channel>
XML
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

# The notification area is at the right end of the panel.
readonly XFCE_TRAY_AREA=512x32+512+0
desktop_item_shown() {
  if [[ $XFCE_TRAY == xembed ]]; then
    has_tray_icon
  else
    import -window root "$WORK/screen.png" && ITEM=$(item_area "$WORK/screen.png" "$XFCE_TRAY_AREA")
  fi
}
desktop_item_picture() {
  if [[ $XFCE_TRAY == xembed ]]; then
    import -window "$(tray_icon)" "$1"
  else
    import -window root -crop "$ITEM" +repage "$1"
  fi
}

# On the XEmbed icon one click does nothing and a double click restores; an
# item takes each click as an activation.
desktop_click() {
  local x y
  if [[ $XFCE_TRAY == xembed ]]; then
    xdotool mousemove --window "$(tray_icon)" 8 8 click --repeat 2 --delay 120 1
  else
    read -r x y < <(area_centre "$ITEM")
    xdotool mousemove "$x" "$y" click 1
  fi
  xdotool mousemove 500 500
}
desktop_return() { timeout 5 xdotool windowactivate --sync "$1" key Return; }
