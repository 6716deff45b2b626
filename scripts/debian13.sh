#!/usr/bin/env bash
# Runs ./test.sh (or the command given) as root in a Debian 13 "trixie" root
# made from the Debian mirror this machine's apt already uses. The root is
# kept between runs (TALLOWIN_TRIXIE_ROOT, by default under /var/cache), so
# only the first run pays for debootstrap and the desktops' packages.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${TALLOWIN_TRIXIE_ROOT:-/var/cache/tallowin/trixie}
tree=/work/tallowin
(( $# )) || set -- ./test.sh

elapsed() { echo "debian13: $1 took $((SECONDS - $2)) s" >&2; }

# The mirror of the packages this machine installs, and of its security updates.
mirror_of() {
  apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' "Label: $1" | head -n 1
}

if [[ ! -e $root/.complete ]]; then
  source scripts/packages.sh
  scripts/ensure-packages.sh debootstrap
  mirror=$(mirror_of Debian)
  # apt names its sources only once it has read their lists.
  [[ -n $mirror ]] || { apt-get update && mirror=$(mirror_of Debian); }
  [[ -n $mirror ]] || { echo "debian13: no Debian mirror in apt's sources" >&2; exit 1; }
  start=$SECONDS
  # What debootstrap mounts inside the root goes with its own namespace,
  # even when it is cut short: a later attempt removes files only.
  rm -rf --one-file-system "$root"
  mkdir -p "$root"
  unshare --mount --propagation private debootstrap --variant=minbase trixie "$root" "$mirror"
  security=$(mirror_of Debian-Security)
  {
    echo "deb $mirror trixie main"
    echo "deb $mirror trixie-updates main"
    [[ -z $security ]] || echo "deb $security trixie-security main"
  } >"$root/etc/apt/sources.list"
  # A root for the tests alone, made again when lost: dpkg need not sync
  # every file it unpacks.
  echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
  touch "$root/.complete"
  elapsed debootstrap "$start"
fi

# The tree as it is now. A file is written only when its content changed,
# so that the build folders kept there rebuild just what did.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
git ls-files -z --cached --others --exclude-standard | grep -zv '^build' |
  tar --null -T - -cf - | tar -xf - -C "$copy"
mkdir -p "$root$tree"
(cd "$root$tree" && find . \( -path './build*' -o -path ./.git \) -prune -o -type f -print) |
  while read -r f; do
    [[ -e $copy/$f ]] || rm "$root$tree/$f"
  done
(cd "$copy" && find . -type f) | while read -r f; do
  cmp -s "$copy/$f" "$root$tree/$f" || { mkdir -p "$(dirname "$root$tree/$f")" && cp "$copy/$f" "$root$tree/$f"; }
done
# The package is made from the files git lists.
git -C "$root$tree" init -q
git -C "$root$tree" add -A

# The suite's own namespaces need the root to be a mount point and the
# kernel's file systems inside it; all of it, and every process the suite
# leaves behind, goes when these namespaces end.
inside=$(printf '%q ' "$@")
unshare --mount --propagation private --pid --fork --kill-child bash -euc '
  root=$1 tree=$2
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -euc "cd $tree
      start=\$SECONDS
      source scripts/packages.sh
      install_suite_packages
      echo \"debian13: packages took \$((SECONDS - start)) s\" >&2
      start=\$SECONDS
      status=0
      $3 || status=\$?
      echo \"debian13: $3 took \$((SECONDS - start)) s\" >&2
      exit \$status"
' debian13 "$root" "$tree" "$inside"
