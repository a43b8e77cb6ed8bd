// A window's system menu: its items as data, shown by the dialog as a popup.
#pragma once

#include <QString>
#include <vector>

#include "win_types.h"

class CMenu {
public:
    struct Item {
        UINT flags;
        UINT id;
        QString text;
    };

    BOOL AppendMenu(UINT flags, UINT id, const QString& text = QString());
    const std::vector<Item>& Items() const { return m_items; }

private:
    std::vector<Item> m_items;
};

// The standard items of an overlapped window's system menu.
CMenu StandardSystemMenu();
