#include "menu.h"

BOOL CMenu::AppendMenu(UINT flags, UINT id, const QString& text)
{
    m_items.push_back(Item{flags, id, (flags & MF_SEPARATOR) != 0 ? QString() : text});
    return TRUE;
}

CMenu StandardSystemMenu()
{
    CMenu menu;
    menu.AppendMenu(MF_STRING, SC_RESTORE, QStringLiteral("&Restore"));
    menu.AppendMenu(MF_STRING, SC_MOVE, QStringLiteral("&Move"));
    menu.AppendMenu(MF_STRING, SC_SIZE, QStringLiteral("&Size"));
    menu.AppendMenu(MF_STRING, SC_MINIMIZE, QStringLiteral("Mi&nimize"));
    menu.AppendMenu(MF_STRING, SC_MAXIMIZE, QStringLiteral("Ma&ximize"));
    menu.AppendMenu(MF_SEPARATOR, 0);
    menu.AppendMenu(MF_STRING, SC_CLOSE, QStringLiteral("&Close\tAlt+F4"));
    return menu;
}
