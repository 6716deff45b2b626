#!/bin/sh
# Runs a test as an ordinary user: as root, file permissions do not bind,
# so a read-only directory could not be tested. The test runs from a copy in
# a temporary directory, since the build tree may lie where that user cannot
# reach (under /root, say).
if [ "$(id -u)" != 0 ]; then
  exec "$@"
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
cp "$1" "$dir/"
test=$dir/$(basename "$1")
shift
setpriv --reuid=65534 --regid=65534 --clear-groups "$test" "$@"
