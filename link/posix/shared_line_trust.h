// Whether an endpoint is serve's at all. A socket in a folder that someone
// else could write, or answered by someone who could not open the device
// anyway, may be anyone's: a client that talked to it would hand its
// settings to a stranger and take made-up readings for the controller's.
// Each function returns "" when all is well, else the reason, worded to
// follow "the endpoint PATH ".
#pragma once

#include <sys/stat.h>

#include <string>

// Before connecting: the socket at socketPath, its folder and the folder
// above that, as the file system shows them. *present is false when there
// is no file at socketPath (no serve there; no reason given).
std::string EndpointPlaceDistrust(const std::string& socketPath, bool* present);

// After connecting, before a byte is read or sent: the peer's credentials,
// then the owners of the socket and its folder, against the device the
// client resolved.
std::string EndpointHolderDistrust(int fd, const std::string& socketPath, const struct stat& device);

// serve's side: "" when serve may put its endpoint in folder, else the
// folder (this one or the one above it) that others may write.
std::string FolderOthersMayWrite(const std::string& folder);
