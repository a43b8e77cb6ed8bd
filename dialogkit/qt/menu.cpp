#include "menu.h"

BOOL CMenu::AppendMenu(UINT flags, UINT id, const CString& text)
{
    m_items.push_back(Item{flags, id, (flags & MF_SEPARATOR) != 0 ? CString() : text});
    return TRUE;
}

CMenu StandardSystemMenu()
{
    CMenu menu;
    menu.AppendMenu(MF_STRING, SC_RESTORE, "&Restore");
    menu.AppendMenu(MF_STRING, SC_MOVE, "&Move");
    menu.AppendMenu(MF_STRING, SC_SIZE, "&Size");
    menu.AppendMenu(MF_STRING, SC_MINIMIZE, "Mi&nimize");
    menu.AppendMenu(MF_STRING, SC_MAXIMIZE, "Ma&ximize");
    menu.AppendMenu(MF_SEPARATOR, 0);
    menu.AppendMenu(MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
    return menu;
}
