#!/usr/bin/env bash
# Tallowin without a mail account: a throwaway mailbox on this machine, a
# copy of the notifier pointed at it, and a new message every 90 seconds.
# Everything it starts is stopped, and everything it made removed, when the
# notifier ends. Run through ./run.sh --demo, which builds first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/mailbox.sh"
source "$root/scripts/program_folder.sh"

work=$(mktemp -d /tmp/tallowin-demo.XXXXXX)
chmod 755 "$work"
deliverer=
# Runs under set -e: a process already gone must not stop it halfway.
cleanup() {
  if [[ -n $deliverer ]]; then
    pkill -P "$deliverer" 2>/dev/null || true  # its sleep
    kill "$deliverer" 2>/dev/null || true
  fi
  mailbox_stop
  "${MAILBOX_AS_ROOT[@]}" rm -rf "$work"
}
trap cleanup EXIT

port=$(mailbox_free_port)
mailbox_start "$work/mailbox" "$port" demo demo
mailbox_deliver "Welcome"

program_folder "$work/app" "$root/build/app" "pop3://127.0.0.1:$port" demo demo

(
  n=0
  while sleep 90; do
    n=$((n + 1))
    mailbox_deliver "Demo message $n"
    echo "demo: message $n delivered"
  done
) &
deliverer=$!

cat <<TEXT
demo: a mailbox with one message waits on 127.0.0.1:$port (user demo, password demo).
demo: minimise the Tallowin window to start watching; a new message comes every
demo: 90 seconds, and within a minute of it the tray icon changes and the voice
demo: says "Tallowin". Double-click the tray icon to bring the window back;
demo: close the window to end the demo.
TEXT
"$work/app/tallowin"
