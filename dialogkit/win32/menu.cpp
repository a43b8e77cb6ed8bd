#include "menu.h"

#include "wide_text.h"

BOOL CMenu::AppendMenu(UINT flags, UINT id, const CString& text)
{
    m_items.push_back(Item{flags, id, (flags & MF_SEPARATOR) != 0 ? CString() : text});
    if (m_hMenu == nullptr)
        return TRUE;
    const std::wstring wide = dialogkit::ToWide(text);
    return ::AppendMenuW(m_hMenu, flags, id, (flags & MF_SEPARATOR) != 0 ? nullptr : wide.c_str());
}
