// CString: the framework's byte string, over std::string.
//
// Indexes and counts are ints and are clamped the way the framework clamps them, so that
// Mid/Left/Right never throw. Format is printf-style and always uses "." for decimals,
// whatever the process locale: the instrument's command language depends on it.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/types.h"

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit as in the framework
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(const std::string& text) : m_text(text) {}        // NOLINT
    CString(std::string&& text) : m_text(std::move(text)) {}  // NOLINT
    CString(std::string_view text) : m_text(text) {}          // NOLINT

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    // Replaces the text, reusing the storage the string already has.
    void SetString(const char* text, int length)
    {
        m_text.assign(text, static_cast<size_t>(length));
    }

    char GetAt(int index) const { return m_text[static_cast<size_t>(index)]; }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { m_text[static_cast<size_t>(index)] = ch; }

    operator const char*() const { return m_text.c_str(); }  // NOLINT: as in the framework
    const char* c_str() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    // -1 when not found; a start outside the text finds nothing.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;

    int Compare(const char* other) const;

    CString& MakeUpper();
    int Delete(int index, int count = 1);

    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    CString& operator=(const char* text);
    CString& operator=(char ch);
    CString& operator+=(const CString& text);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);
    friend CString operator+(char a, const CString& b);

private:
    std::string m_text;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
bool operator<(const CString& a, const CString& b);
bool operator<(const CString& a, const char* b);
bool operator<(const char* a, const CString& b);
bool operator>(const CString& a, const CString& b);
bool operator>(const CString& a, const char* b);
bool operator>(const char* a, const CString& b);
bool operator<=(const CString& a, const CString& b);
bool operator>=(const CString& a, const CString& b);

namespace gc6890 {
// printf into a std::string with "." as the decimal point, whatever the locale.
std::string formatV(const char* format, va_list args);
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// strtod with "." as the decimal point, whatever the locale (the C library's atof rules).
double parseDouble(const char* text);
}  // namespace gc6890
