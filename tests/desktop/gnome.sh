# A headless GNOME Shell with the AppIndicator extension, as a GNOME session
# has it and as cycle_test.sh drives it: Xwayland for X clients,
# gsd-xsettings handing out GNOME's font, a system bus of its own. Input
# reaches the Shell through its virtual devices, as a person's does.
# shellcheck shell=bash

# shell_eval JS: the value of the expression in the shell, as text.
shell_eval() {
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "(() => { const {Clutter, GLib} = imports.gi; return $1; })()" \
    2>/dev/null |
    sed -n "s/^(true, '\(.*\)')$/\1/p"
}
shell_true() { [[ $(shell_eval "$1") == true ]]; }

desktop_start() {
  export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime XDG_CURRENT_DESKTOP=GNOME
  mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  unset DISPLAY WAYLAND_DISPLAY
  start_session_bus system
  start_session_bus
  # The test's own extension opens the shell to Eval, which 43 keeps shut;
  # from 45 on the shell loads extensions only as ES modules.
  local ext=$HOME/.local/share/gnome-shell/extensions/unsafe@tallowin.test version
  version=$(gnome-shell --version | grep -o '[0-9][0-9]*' | head -n 1)
  mkdir -p "$ext"
  echo '{"uuid": "unsafe@tallowin.test", "name": "unsafe", "description": "tests",
    "shell-version": ["'"$version"'"]}' >"$ext/metadata.json"
  if ((version >= 45)); then
    cat >"$ext/extension.js" <<'JS'
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
export default class Unsafe extends Extension {
  enable() { global.context.unsafe_mode = true; }
  disable() {}
}
JS
  else
    cat >"$ext/extension.js" <<'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
JS
  fi
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
  # The test's keyboard, made now: the first keys of a keyboard just made
  # are lost.
  shell_eval "(() => { global._testKeyboard = Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE); })()" >/dev/null
}

# The program's window as the Shell knows it (the box, shown later, bears
# its title too).
readonly SHELL_WINDOW='global.display.list_all_windows().find(w => w.get_title() === "Tallowin")'
desktop_minimise() { shell_eval "$SHELL_WINDOW.minimize()" >/dev/null; }

# The fields' text whole in GNOME's own font.
desktop_window_checks() {
  step "GNOME's font: the fields' text is whole"
  # The window's fields, drawn in the font this session gives, against the
  # same text drawn whole.
  QT_QPA_PLATFORM=xcb "$build/tests/frm_main_test" textIsWholeInTheDesktopsFont >"$WORK/fields.log" 2>&1 ||
    fail "text is cut off in the fields: $(cat "$WORK/fields.log")"
  grep -q "the desktop's font: Cantarell,11" "$WORK/fields.log" ||
    fail "not GNOME's font: $(grep "desktop's font" "$WORK/fields.log")"
}

# The AppIndicator item in the top bar, once it is there.
readonly SHELL_ITEM='Object.entries(Main.panel.statusArea).find(([k]) => k.startsWith("appindicator-"))?.[1]'
desktop_item_shown() { shell_true "!!$SHELL_ITEM && $SHELL_ITEM.visible"; }

# shell_screenshot METHOD ARGS...: a call to the Shell's screenshot service.
shell_screenshot() {
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method "org.gnome.Shell.Screenshot.$1" "${@:2}" >/dev/null
}
screenshot() { shell_screenshot Screenshot false false "$1"; }
# desktop_item_picture FILE: the item as it is drawn in the top bar.
desktop_item_picture() {
  local area  # x y w h
  area=$(shell_eval "(() => { const i = $SHELL_ITEM; return [...i.get_transformed_position(),
    ...i.get_transformed_size()].map(Math.round).join(' '); })()" | tr -d '"')
  # shellcheck disable=SC2086
  shell_screenshot ScreenshotArea $area false "$1"
}

# The extension activates on the first click of a new item, and on a double
# click from then on.
desktop_click() {
  shell_item_click
  sleep 0.1
  shell_item_click
  shell_pointer "[600, 500]"  # resting on the item, the pointer keeps the Shell busy
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

# desktop_return: Return (key code 28), through the test's keyboard, into
# the window that has the focus.
desktop_return() {
  shell_eval "(() => { for (const state of [Clutter.KeyState.PRESSED, Clutter.KeyState.RELEASED])
    global._testKeyboard.notify_key(GLib.get_monotonic_time(), 28, state); })()" >/dev/null
}
