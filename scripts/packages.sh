# The Debian packages the program needs, sourced by run.sh and test.sh.
# shellcheck shell=bash
BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-svg-dev libspeechd-dev libxcb1-dev
  libdbus-1-dev)
PACKAGING_PACKAGES=(dpkg-dev debhelper git)
RUN_PACKAGES=(libqt6widgets6 libqt6network6 libqt6dbus6 qt6-qpa-plugins
  speech-dispatcher speech-dispatcher-espeak-ng)
DEMO_PACKAGES=(dovecot-pop3d dovecot-core)
TEST_PACKAGES=("${DEMO_PACKAGES[@]}" openssl xvfb openbox trayer xdotool x11-utils
  imagemagick dbus iproute2 util-linux procps valgrind
  qt6-wayland weston haskell-status-notifier-item-utils libglib2.0-bin
  "${PACKAGING_PACKAGES[@]}" lintian desktop-file-utils appstream
  at-spi2-core python3-pyatspi python3-gi fonts-cantarell faketime libfaketime python3-dbusmock)
# A GNOME session's shell, a KDE Plasma session's compositor and panel (with
# its StatusNotifierItem watcher: kded6 with Plasma 6, kded5 and Qt 5's
# Wayland platform with Plasma 5; what builds a client of KWin's fake-input
# protocol), XFCE's window manager, panel and session manager: each without
# the rest of the desktop its recommends would bring.
GNOME_PACKAGES=(gnome-shell mutter gnome-shell-extension-appindicator xwayland
  gnome-settings-daemon)
PLASMA_PACKAGES=(kwin-wayland plasma-workspace plasma-desktop "kded6|kded5,qtwayland5" xwayland
  libwayland-dev plasma-wayland-protocols)
XFCE_PACKAGES=(xfwm4 xfce4-panel xfconf xfce4-session)

# Everything ./test.sh needs.
install_suite_packages() {
  scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
  scripts/ensure-packages.sh --no-install-recommends "${GNOME_PACKAGES[@]}" \
    "${PLASMA_PACKAGES[@]}" "${XFCE_PACKAGES[@]}"
}
