// Texts handed to the link go through fixed buffers of 100 bytes: at most
// 99 characters, always terminated, never overrun.
#pragma once

#include <string>

#include "cstring.h"

constexpr int kTextBufferSize = 100;

// The first 99 characters of text, one byte each. A character is counted
// as the platform's 16-bit text counts it: beyond Latin-1 it becomes '?'
// (two, for one outside the basic plane), which the link treats like any
// other non-digit; a byte that is not UTF-8 is one '?' of its own.
std::string TextForBuffer(const CString& text);
