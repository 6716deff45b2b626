// Whether the kernel routes anywhere beyond this machine.
#pragma once

namespace host {

// True when /proc/net/route or /proc/net/ipv6_route holds a default route
// on an interface other than the loopback (whose IPv6 one only rejects).
bool HasDefaultRoute();

}  // namespace host
