# A headless KDE Plasma session on Wayland, as cycle_test.sh drives it: KWin
# with its virtual backend and Xwayland (the program runs there as an X11
# client), plasmashell's panel with the notification area, kded's
# StatusNotifierItem watcher (kded5 with Plasma 5, kded6 with Plasma 6), all
# on software rendering. The item is seen, and activated, as the panel does
# it, over D-Bus: KWin 6 on a machine without /dev/dri offers no screenshots
# to find it on screen. Keys reach the program through KWin's fake-input
# protocol, as a person's do.
# shellcheck shell=bash

desktop_start() {
  export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_RUNTIME_DIR=$WORK/runtime
  mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
  export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true
  KDE_SESSION_VERSION=5
  ! command -v kded6 >/dev/null || KDE_SESSION_VERSION=6
  export KDE_SESSION_VERSION QT_QUICK_BACKEND=software LIBGL_ALWAYS_SOFTWARE=1
  # What the bus starts (kactivitymanagerd) is a Wayland client too: on X11
  # it crashes, and plasmashell with it.
  QT_QPA_PLATFORM=wayland start_session_bus
  local protocol=/usr/share/plasma-wayland-protocols/fake-input.xml
  wayland-scanner client-header "$protocol" "$WORK/fake-input-client-protocol.h" &&
    wayland-scanner private-code "$protocol" "$WORK/fake-input-protocol.c" &&
    gcc -O2 -I"$WORK" "$here/fake_input.c" "$WORK/fake-input-protocol.c" -lwayland-client \
      -o "$WORK/fake_input" || fail "the fake-input client did not build"
  # The package gives kwin_wayland a file capability that a container may
  # not grant; a copy has none.
  cp /usr/bin/kwin_wayland "$WORK/kwin_wayland"
  KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 spawn kwin "$WORK/kwin_wayland" --virtual --xwayland \
    --width 1280 --height 800 --socket wayland-tallowin --no-lockscreen
  wait_for 30 compgen -G '/tmp/.X11-unix/X*' || fail "KWin did not start: $(cat "$WORK/kwin.log")"
  local socket
  socket=$(compgen -G '/tmp/.X11-unix/X*')
  export WAYLAND_DISPLAY=wayland-tallowin DISPLAY=:${socket##*/X}
  dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland
  QT_QPA_PLATFORM=wayland spawn plasmashell plasmashell --no-respawn
  wait_for 30 plasma_tray_up || fail "plasmashell did not start: $(cat "$WORK/plasmashell.log")"
}
plasma_tray_up() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.ListNames | grep -q "org.kde.StatusNotifierHost-"
}

desktop_minimise() { xdotool windowminimize "$1"; }

desktop_item_shown() { ITEM=$(sn_items); }
# The largest of the item's pictures, ARGB in network order.
desktop_item_picture() {
  /usr/bin/python3 - "${ITEM%%/*}" "/${ITEM#*/}" <<'PY' | convert pam:- "$1"
import sys
from gi.repository import Gio, GLib
reply = Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
    sys.argv[1], sys.argv[2], "org.freedesktop.DBus.Properties", "Get",
    GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "IconPixmap")), None, 0, 5000, None)
w, h, argb = max(reply.unpack()[0])
rgba = bytearray(argb)
rgba[0::4], rgba[1::4], rgba[2::4], rgba[3::4] = argb[1::4], argb[2::4], argb[3::4], argb[0::4]
header = b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (w, h)
sys.stdout.buffer.write(header + rgba)
PY
}
# What Plasma's notification area does on one click.
desktop_click() {
  gdbus call --session --dest "${ITEM%%/*}" --object-path "/${ITEM#*/}" \
    --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
}
# KWin has given the box the keyboard; 28 is Return's key code.
desktop_return() { "$WORK/fake_input" 28; }
