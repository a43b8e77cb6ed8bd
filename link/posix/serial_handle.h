// The serial port handle on POSIX: a file descriptor.
#pragma once

using CommHandle = int;
constexpr CommHandle kNoPort = -1;
