// Names serve did not choose (a port's name is whatever a ports-folder entry
// is called) reach JSON, HTML and the exposition format, all of which must
// be UTF-8. Bytes that are not are shown as U+FFFD rather than passed on.
#pragma once

#include <string>

// text with every byte that is not part of a well-formed UTF-8 sequence
// (overlong forms, surrogates and code points past U+10FFFF included)
// replaced by U+FFFD; well-formed text comes back unchanged.
std::string ValidUtf8(const std::string& text);
