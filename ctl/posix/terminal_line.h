// A line typed at a terminal, read so that a stop request (Ctrl+C) ends the
// wait at once: the terminal may be in no-echo mode, which the caller must
// put back whatever happens.
#pragma once

#include <cstddef>

// Reads up to a line feed (not kept) into line, at most size - 1 bytes,
// ending it with a zero byte. False on end of input, an error or a stop.
bool ReadTerminalLine(int fd, char* line, std::size_t size);
