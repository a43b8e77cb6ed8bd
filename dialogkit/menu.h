// A window's system menu: its items as data, and the platform's own menu
// where there is one.
#pragma once

#include <vector>

#include "cstring.h"
#include "win_types.h"

class CMenu {
public:
    struct Item {
        UINT flags;
        UINT id;
        CString text;
    };

    BOOL AppendMenu(UINT flags, UINT id, const CString& text = CString());
    const std::vector<Item>& Items() const { return m_items; }

    // The platform's menu the items also go to, where the platform keeps one.
    void Attach(HMENU menu) { m_hMenu = menu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }

private:
    std::vector<Item> m_items;
    HMENU m_hMenu = nullptr;
};

// The standard items of an overlapped window's system menu.
CMenu StandardSystemMenu();
