#!/usr/bin/env bash
# Builds the Debian package from the tracked files, as Debian builds one,
# into build-deb/ (or $TALLOWIN_DEB_DIR); with --install, installs it too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}"

out=${TALLOWIN_DEB_DIR:-$root/build-deb}
rm -rf "$out"
mkdir -p "$out/tallowin"
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$out/tallowin")
(cd "$out/tallowin" && dpkg-buildpackage -us -uc -b >"$out/build.log" 2>&1) ||
  { tail -n 40 "$out/build.log" >&2; exit 1; }
deb=$(ls "$out"/tallowin_*.deb)
echo "$deb"
if [[ ${1:-} == --install ]]; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get install -y "$deb"
fi
