// CString: the dialogs' text type, a counted 8-bit text in UTF-8. Each half
// converts it to its toolkit's text at its edge.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text != nullptr ? text : "") {} // NOLINT: implicit, as literals are used
    CString(const char* text, std::size_t length) : m_text(text, length) {}
    explicit CString(std::string text) : m_text(std::move(text)) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    // Zero-terminated, valid until the text next changes.
    const char* GetString() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }

    // Replaces the text by printf-style formatting.
    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_text != b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b != nullptr ? b : ""); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }

private:
    std::string m_text;
};

// For test failure messages.
std::ostream& operator<<(std::ostream& out, const CString& text);
