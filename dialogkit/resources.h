// The program file's resources by id, as its resource script lists them:
// the icon, the pictures, the string table and the version record. A
// missing resource gives a null handle or an empty text.
#pragma once

#include "cstring.h"
#include "win_types.h"

namespace dialogkit {

HICON LoadIconResource(int id);
HBITMAP LoadBitmapResource(int id);
CString LoadStringResource(int id);
// The version record's file version as "a.b.c.d"; empty when there is none.
CString FileVersionResource();

} // namespace dialogkit
