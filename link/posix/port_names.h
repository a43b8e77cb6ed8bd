// Which device a port name such as "COM3" stands for on POSIX.
#pragma once

#include <string>
#include <vector>

// The PC's own ports folder, which the service reads too.
constexpr char kSystemPortsDirectory[] = "/etc/korvanthine/ports";

// The user's folder of port links: $KORVANTHINE_PORTS, else
// $XDG_CONFIG_HOME/korvanthine/ports, else ~/.config/korvanthine/ports.
std::string PortsDirectory();

// The folders a port name is looked up in, in order: $KORVANTHINE_PORTS
// alone where it is set; else the system folder, then the user's, so that
// a user's entry only adds names and never gives one of the system's
// another device.
std::vector<std::string> PortsDirectories();

// The entry of the folders that stands for a port name ("" when none): the
// first folder that has one named like the port in lower case.
std::string PortsEntry(const std::string& portName);

// The device of a port name: PortsEntry when there is one, else
// /dev/ttyS<n-1> for "COMn". Returns "" for a name that maps to nothing.
std::string DevicePathForPort(const std::string& portName);

// Why a user's entry for portName is not used, when the system folder
// defines that name for another device; "" otherwise.
std::string ShadowedUserEntry(const std::string& portName);

// The same two rules on folders given: the entry of the first folder that
// has one, and why userDir's entry is not used beside systemDir's.
std::string EntryInFolders(const std::vector<std::string>& dirs, const std::string& portName);
std::string ShadowedEntryIn(const std::string& systemDir, const std::string& userDir, const std::string& portName);
