#include "dialog_template_builder.h"

#include "wide_text.h"

namespace dialogkit {

namespace {

// Predefined control classes by atom; the progress bar is named.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;

void PutDword(std::vector<WORD>& out, DWORD value)
{
    out.push_back(static_cast<WORD>(value & 0xFFFF));
    out.push_back(static_cast<WORD>(value >> 16));
}

void PutText(std::vector<WORD>& out, const char* text)
{
    for (wchar_t c : ToWide(CString(text)))
        out.push_back(static_cast<WORD>(c));
    out.push_back(0);
}

void PutOrdinal(std::vector<WORD>& out, WORD ordinal)
{
    out.push_back(0xFFFF);
    out.push_back(ordinal);
}

void AlignDword(std::vector<WORD>& out)
{
    if (out.size() % 2 != 0)
        out.push_back(0);
}

bool IsImage(const DialogItemTemplate& item)
{
    const DWORD type = item.style & SS_TYPEMASK;
    return item.cls == ControlClass::Static && (type == SS_ICON || type == SS_BITMAP);
}

} // namespace

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& tmpl)
{
    std::vector<WORD> out;
    out.push_back(1);      // dlgVer
    out.push_back(0xFFFF); // signature: extended
    PutDword(out, 0);      // helpID
    PutDword(out, tmpl.exStyle);
    PutDword(out, tmpl.style | DS_SETFONT);
    out.push_back(static_cast<WORD>(tmpl.itemCount));
    out.push_back(static_cast<WORD>(tmpl.x));
    out.push_back(static_cast<WORD>(tmpl.y));
    out.push_back(static_cast<WORD>(tmpl.cx));
    out.push_back(static_cast<WORD>(tmpl.cy));
    out.push_back(0); // no menu
    out.push_back(0); // the dialog class
    PutText(out, tmpl.caption);
    // The font record as the templates give it: weight 0 (the font's own),
    // not italic, DEFAULT_CHARSET.
    out.push_back(static_cast<WORD>(tmpl.pointSize));
    out.push_back(0);                                    // weight
    out.push_back(static_cast<WORD>(DEFAULT_CHARSET << 8)); // italic (low byte), charset
    PutText(out, tmpl.typeface);

    for (std::size_t i = 0; i < tmpl.itemCount; ++i) {
        const DialogItemTemplate& item = tmpl.items[i];
        AlignDword(out);
        PutDword(out, 0); // helpID
        PutDword(out, 0); // exStyle
        PutDword(out, item.style | WS_CHILD | WS_VISIBLE);
        out.push_back(static_cast<WORD>(item.x));
        out.push_back(static_cast<WORD>(item.y));
        out.push_back(static_cast<WORD>(item.cx));
        out.push_back(static_cast<WORD>(item.cy));
        PutDword(out, static_cast<DWORD>(item.id));
        switch (item.cls) {
        case ControlClass::Button:
            PutOrdinal(out, kButtonAtom);
            break;
        case ControlClass::Edit:
            PutOrdinal(out, kEditAtom);
            break;
        case ControlClass::Static:
            PutOrdinal(out, kStaticAtom);
            break;
        case ControlClass::ComboBox:
            PutOrdinal(out, kComboBoxAtom);
            break;
        case ControlClass::Progress:
            PutText(out, PROGRESS_CLASSA);
            break;
        }
        // A picture's title is the resource it shows.
        if (IsImage(item))
            PutOrdinal(out, static_cast<WORD>(item.imageId));
        else
            PutText(out, item.caption != nullptr ? item.caption : "");
        out.push_back(0); // no creation data
    }
    return out;
}

} // namespace dialogkit
