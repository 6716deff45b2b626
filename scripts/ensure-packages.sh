#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing;
# runs apt only when something is. Needs root, or sudo. Recommended packages
# come too, as the tests were run with them (fonts for Xvfb and Qt, say),
# unless the first argument is --no-install-recommends.
set -euo pipefail

apt_options=()
if [[ ${1:-} == --no-install-recommends ]]; then
  apt_options=("$1")
  shift
fi
missing=()
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update
# Through env: sudo's env_reset would drop a variable set before it, and apt
# could stop at a debconf question.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_options[@]}" "${missing[@]}"
