// Where serve's endpoint for a device lives on POSIX: a Unix-domain socket
// named after the device itself (its real path), so that every name of one
// device meets at the same serve and no name can reach another device.
#pragma once

#include <string>
#include <vector>

// The socket's file name for the device at devicePath (links followed);
// "" when the device does not exist.
std::string SharedLineSocketName(const std::string& devicePath);

// The folders a client looks in, in order: the service's runtime folder
// (/run/korvanthine), then the user's ($XDG_RUNTIME_DIR/korvanthine).
std::vector<std::string> SharedLineFolders();

// The folder serve puts its socket in: the runtime folder the service
// manager gave it ($RUNTIME_DIRECTORY), else $XDG_RUNTIME_DIR/korvanthine;
// "" when there is neither.
std::string ServeSocketFolder();
