#include "cstring.h"

#include <cstdarg>
#include <cstdio>
#include <ostream>

void CString::Format(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        m_text.clear();
        return;
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(static_cast<std::size_t>(length));
    m_text = std::move(text);
}

std::ostream& operator<<(std::ostream& out, const CString& text)
{
    return out << '"' << text.Str() << '"';
}
