#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing;
# runs apt only when something is. Needs root, or sudo. Recommended packages
# come too, as the tests were run with them (fonts for Xvfb and Qt, say),
# unless the first argument is --no-install-recommends. A name that differs
# between releases is given as "A|B,C": A where the archive has it, else B
# and C.
set -euo pipefail

apt_options=()
if [[ ${1:-} == --no-install-recommends ]]; then
  apt_options=("$1")
  shift
fi
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
updated=
update() {
  [[ -n $updated ]] || "${sudo[@]}" apt-get update
  updated=1
}

known() {
  local pkg
  for pkg; do
    [[ $(apt-cache policy "$pkg" 2>/dev/null | awk '$1 == "Candidate:" { print $2 }') =~ ^[^\(] ]] ||
      return 1
  done
}
# choose "A|B,C": the first alternative whose packages the archive knows;
# apt's lists are read first where none is known yet (a fresh machine).
choose() {
  local alternatives alternative pkgs pass
  IFS='|' read -ra alternatives <<<"$1"
  for pass in 1 2; do
    for alternative in "${alternatives[@]}"; do
      IFS=',' read -ra pkgs <<<"$alternative"
      if known "${pkgs[@]}"; then
        CHOSEN+=("${pkgs[@]}")
        return
      fi
    done
    ((pass == 2)) || update
  done
  CHOSEN+=("${pkgs[@]}")  # apt says what is missing
}

CHOSEN=()
for arg in "$@"; do
  if [[ $arg == *[\|,]* ]]; then choose "$arg"; else CHOSEN+=("$arg"); fi
done
missing=()
for pkg in "${CHOSEN[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}" >&2
update
# Through env: sudo's env_reset would drop a variable set before it, and apt
# could stop at a debconf question.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_options[@]}" "${missing[@]}"
