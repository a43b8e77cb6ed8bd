// Resources of the program file, compiled in from the resource script.
#include "resources.h"

#include <cstdio>
#include <cstring>

#include "wide_text.h"

namespace dialogkit {

namespace {

HINSTANCE Module()
{
    return ::GetModuleHandleW(nullptr);
}

} // namespace

HICON LoadIconResource(int id)
{
    return static_cast<HICON>(
        ::LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HBITMAP LoadBitmapResource(int id)
{
    return static_cast<HBITMAP>(::LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_SHARED));
}

CString LoadStringResource(int id)
{
    // Length 0 gives a read-only pointer to the text in the table itself.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(Module(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? FromWide(text, length) : CString();
}

CString FileVersionResource()
{
    const HRSRC found = ::FindResourceW(Module(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)); // RT_VERSION
    if (found == nullptr)
        return CString();
    const auto* data = static_cast<const unsigned char*>(::LockResource(::LoadResource(Module(), found)));
    const DWORD size = ::SizeofResource(Module(), found);
    // VS_FIXEDFILEINFO starts with its signature, DWORD-aligned.
    for (DWORD at = 0; data != nullptr && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof info);
        if (info.dwSignature != 0xFEEF04BDu)
            continue;
        CString version;
        version.Format("%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(info.dwFileVersionMS)),
                       static_cast<unsigned long>(LOWORD(info.dwFileVersionMS)),
                       static_cast<unsigned long>(HIWORD(info.dwFileVersionLS)),
                       static_cast<unsigned long>(LOWORD(info.dwFileVersionLS)));
        return version;
    }
    return CString();
}

} // namespace dialogkit
