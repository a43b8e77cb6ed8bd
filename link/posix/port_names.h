// Which device a port name such as "COM3" stands for on POSIX.
#pragma once

#include <string>

// The folder of port links: $KORVANTHINE_PORTS, else
// $XDG_CONFIG_HOME/korvanthine/ports, else ~/.config/korvanthine/ports.
std::string PortsDirectory();

// The device of a port name: the entry named like the port in lower case in
// PortsDirectory() when there is one, else /dev/ttyS<n-1> for "COMn".
// Returns "" for a name that maps to nothing.
std::string DevicePathForPort(const std::string& portName);
