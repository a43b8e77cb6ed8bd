#include "wide_text.h"

#include <vector>

namespace dialogkit {

std::wstring ToWide(const CString& text)
{
    if (text.IsEmpty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.GetString(), text.GetLength(), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.GetString(), text.GetLength(), wide.data(), length);
    return wide;
}

CString FromWide(const wchar_t* text, int length)
{
    if (length <= 0)
        return CString();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), bytes, nullptr, nullptr);
    return CString(std::move(narrow));
}

CString WindowText(HWND window)
{
    if (window == nullptr)
        return CString();
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return FromWide(buffer.data(), copied);
}

} // namespace dialogkit
