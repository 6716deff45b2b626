# A headless GNOME Shell with the AppIndicator extension, as a GNOME session
# has it: Xwayland for X clients, gsd-xsettings handing out GNOME's font, a
# system bus of its own. Sourced after desktop.sh, in a mount namespace of
# the test's own (the X sockets are private there).
# shellcheck shell=bash

# shell_eval JS: the value of the expression in the shell, as text.
shell_eval() {
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "(() => { const {Clutter, GLib} = imports.gi; return $1; })()" \
    2>/dev/null |
    sed -n "s/^(true, '\(.*\)')$/\1/p"
}
shell_true() { [[ $(shell_eval "$1") == true ]]; }

start_gnome() {
  mount -t tmpfs tmpfs /tmp/.X11-unix
  export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime XDG_CURRENT_DESKTOP=GNOME
  mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  unset DISPLAY WAYLAND_DISPLAY
  cat >"$WORK/system-bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$WORK/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  spawn system-bus dbus-daemon --config-file="$WORK/system-bus.conf" --nofork
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$WORK/system-bus
  wait_for 10 test -S "$WORK/system-bus" || fail "the system bus did not start"
  start_session_bus
  # The test's own extension opens the shell to Eval, which 43 keeps shut.
  local ext=$HOME/.local/share/gnome-shell/extensions/unsafe@tallowin.test
  mkdir -p "$ext"
  echo '{"uuid": "unsafe@tallowin.test", "name": "unsafe", "description": "tests",
    "shell-version": ["43"]}' >"$ext/metadata.json"
  cat >"$ext/extension.js" <<'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
JS
  gsettings set org.gnome.shell disable-user-extensions false
  gsettings set org.gnome.shell enabled-extensions \
    "['ubuntu-appindicators@ubuntu.com', 'unsafe@tallowin.test']"
  spawn gnome-shell gnome-shell --headless --wayland --virtual-monitor 1280x800
  wait_for 30 shell_true 'Main.layoutManager !== undefined' || fail "GNOME Shell did not start"
  # It starts into the overview, once its start-up is over.
  wait_for 20 shell_true '!Main.layoutManager._startingUp && (Main.overview.hide(), true) &&
    !Main.overview.visible' || fail "the overview stayed"
  local display
  display=$(shell_eval 'GLib.getenv("DISPLAY")' | tr -d '"')
  [[ -n $display ]] || fail "GNOME Shell has no Xwayland"
  export DISPLAY=$display WAYLAND_DISPLAY=wayland-0 XDG_SESSION_TYPE=wayland
  XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -n 1)
  export XAUTHORITY
  spawn xsettings /usr/libexec/gsd-xsettings
  wait_for 10 bash -c "xprop -root RESOURCE_MANAGER | grep -q Xft.dpi" ||
    fail "gsd-xsettings did not start: $(cat "$WORK/xsettings.log")"
}

# The program's window as the Shell knows it, and whether it is there.
readonly SHELL_WINDOW='global.display.list_all_windows().find(w => w.get_title() === "Tallowin")'
shell_window_shown() { shell_true "!!$SHELL_WINDOW && !$SHELL_WINDOW.minimized"; }
shell_window_gone() { shell_true "!$SHELL_WINDOW"; }

# The AppIndicator item in the top bar, once it is there.
readonly SHELL_ITEM='Object.entries(Main.panel.statusArea).find(([k]) => k.startsWith("appindicator-"))?.[1]'
shell_item_shown() { shell_true "!!$SHELL_ITEM && $SHELL_ITEM.visible"; }

# shell_capture FILE AREA_JS: the screen within the rectangle [x, y, w, h]
# that the expression gives.
shell_capture() {
  local area
  area=$(shell_eval "$2.map(Math.round).join(' ')" | tr -d '"')
  # shellcheck disable=SC2086
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.ScreenshotArea $area false "$1" >/dev/null
}
# shell_item_capture FILE: the item as it is drawn in the top bar.
shell_item_capture() {
  shell_capture "$1" "(() => { const i = $SHELL_ITEM;
    return [...i.get_transformed_position(), ...i.get_transformed_size()]; })()"
}
# shell_window_capture FILE: the window's client area.
shell_window_capture() {
  shell_capture "$1" "(() => { const w = $SHELL_WINDOW;
    const r = w.frame_rect_to_client_rect(w.get_frame_rect()); return [r.x, r.y, r.width, r.height]; })()"
}

# shell_item_click: a click of the left button on the item, through a
# virtual pointer as a person's mouse reaches the Shell.
shell_item_click() {
  shell_pointer "(() => { const i = $SHELL_ITEM; const [x, y] = i.get_transformed_position();
    const [w, h] = i.get_transformed_size(); return [x + w / 2, y + h / 2]; })()"
  sleep 0.2  # the Shell finds what is under the pointer at its next frame
  local state
  for state in PRESSED RELEASED; do
    shell_eval "global._testPointer.notify_button(GLib.get_monotonic_time(), Clutter.BUTTON_PRIMARY,
      Clutter.ButtonState.$state)" >/dev/null
  done
}
# shell_pointer POINT_JS: moves the virtual pointer to the point [x, y].
shell_pointer() {
  shell_eval "(() => { const seat = Clutter.get_default_backend().get_default_seat();
    global._testPointer ??= seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
    global._testPointer.notify_absolute_motion(GLib.get_monotonic_time(), ...$1); })()" >/dev/null
}
# Resting on the item, the pointer keeps the Shell busy.
shell_pointer_away() { shell_pointer "[600, 500]"; }
