#!/usr/bin/env bash
# The Debian package as Debian would build it: it builds, lintian finds no
# error, its menu entry, autostart entry and metadata validate, and the
# autostart switch puts the entry in the user's autostart folder and takes
# it out again.
# usage: package_test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

deb=$(TALLOWIN_DEB_DIR=$work/deb "$root/scripts/package.sh") || fail "the package did not build"
lintian --fail-on error "$deb" || fail "lintian reports errors"

dpkg -x "$deb" "$work/root"
id=org.tallowin.Tallowin
desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "menu entry"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" || fail "metadata"

home=$work/home
mkdir "$home"
HOME=$home "$work/root/usr/bin/tallowin-autostart" on >/dev/null
entry=$home/.config/autostart/$id.desktop
desktop-file-validate "$entry" || fail "autostart entry"
grep -qx 'Exec=tallowin --minimized' "$entry" || fail "the autostart entry does not start minimised"
HOME=$home "$work/root/usr/bin/tallowin-autostart" off >/dev/null
[[ ! -e $entry ]] || fail "the autostart entry is still there"
echo "PASS: the Debian package"
