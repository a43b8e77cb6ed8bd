// Names and values that serve did not choose (a process's name, a user's,
// a request's target) as a log line may show them: printable ASCII as it
// is, a backslash doubled, every other byte as \xNN, and not more than a
// line's worth. A name can then neither end a line nor move a terminal's
// cursor over the words that name the writer.
#pragma once

#include <cstddef>
#include <string>

std::string LogText(const std::string& text, std::size_t longest = 200);
