// The network a client address belongs to, as the failure budget counts it:
// one household or one host's IPv6 prefix has one budget, however many of
// its addresses it uses.
#pragma once

#include <string>

// "192.0.2.0/24" for an IPv4 address (also when written IPv4-mapped,
// "::ffff:192.0.2.7"), "2001:db8:1:2::/64" for an IPv6 one (a zone, "%eth0",
// left out); the text itself for anything that is not an address.
std::string AddressPrefix(const std::string& address);
