#!/usr/bin/env bash
# poll_bench against a private dovecot holding 20 messages.
# usage: poll_bench.sh BUILD_DIR [POLLS [GAP]]
set -euo pipefail
source "$(dirname "$0")/../scripts/mailbox.sh"
work=$(mktemp -d)
chmod 755 "$work"  # dovecot's own users walk through it
trap 'mailbox_stop; rm -rf "$work"' EXIT
port=$(mailbox_free_port)
mailbox_start "$work/mailbox" "$port" alice pw
for i in $(seq 20); do mailbox_deliver "message $i"; done
"$1/bench/poll_bench" "$port" "${2:-50}" ${3:+"$3"}
