// Texts handed to the link go through fixed buffers of 100 bytes: at most
// 99 characters, always terminated, never overrun.
#pragma once

#include <QByteArray>

#include "cstring.h"

constexpr int kTextBufferSize = 100;

// The first 99 characters of text, one byte each (characters outside
// Latin-1 become '?', which the link treats like any other non-digit).
inline QByteArray TextForBuffer(const CString& text)
{
    return text.left(kTextBufferSize - 1).toLatin1();
}
