// Where the minimised panel draws its icon: centred in the client area.
#pragma once

#include "win_types.h"

// Rounds up on odd leftovers; divisions truncate toward zero, so a client
// area smaller than the icon gives a negative origin.
inline POINT MinimisedIconOrigin(const RECT& client, int cxIcon, int cyIcon)
{
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    return POINT{(w - cxIcon + 1) / 2, (h - cyIcon + 1) / 2};
}
