// Where `serve` answers HTTP: --listen HOST:PORT.
#pragma once

#include <string>

// The default port, on all interfaces. It is outside every range Prometheus
// keeps for exporters' default ports (9100 ... 9999 is fully allocated, and
// the entries that followed went to 10000 and up) and outside the ports the
// list names elsewhere; below the systems' ranges for outgoing connections.
constexpr int kDefaultServePort = 27531;

// "127.0.0.1:8080", "[::1]:8080", "*:8080" and ":8080" (all interfaces);
// "" is ":" with the default port. Sets *host ("" for all interfaces, an
// IPv6 address without its brackets) and *port. Whether the host is a valid
// address is left to the listening socket.
bool ParseListenAddress(const std::string& text, std::string* host, int* port);
