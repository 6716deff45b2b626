#!/usr/bin/env bash
# A network whose first address for a name is dead: in a network and mount
# namespace of the test's own, an IPv6 route that leads nowhere (a neighbour
# entry for a link address nobody has, so the frames vanish), a working IPv6
# address, loopback as the only IPv4 address, and an /etc/hosts of its own.
# dovecot listens on port 110. Then runs the given test inside.
# usage: dead_route.sh TEST...
NAMESPACES="--net --mount"
source "$(dirname "$0")/../desktop/desktop.sh"

mount --make-rprivate /
ip link add veth0 type veth peer name veth1
ip -6 addr add 2001:db8::1/64 dev veth0 nodad
ip link set veth0 up
ip link set veth1 up
ip -6 neigh replace 2001:db8::dead lladdr 02:00:00:00:de:ad dev veth0 nud permanent

# The names, and the order of their addresses.
mount --bind -o ro "$(dirname "$0")/hosts" /etc/hosts
mount --bind -o ro "$(dirname "$0")/gai.conf" /etc/gai.conf
for name in dead-then-v4.test dead-then-v6.test; do
  first=$(getent ahosts "$name" | awk 'NR == 1 {print $1}')
  [[ $first == 2001:db8::dead ]] || fail "$name resolves first to $first"
done

MAILBOX_LISTEN="127.0.0.1, 2001:db8::1" mailbox_start "$WORK/dovecot" 110 alice secret
"$@"
