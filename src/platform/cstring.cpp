#include "platform/cstring.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <strings.h>

namespace gc6890 {
namespace {

// The "C" locale, made once and kept for the life of the process.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

// Switches the calling thread to the "C" locale for the life of the object.
class CLocaleScope {
public:
    CLocaleScope() : m_previous(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(m_previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_previous;
};

}  // namespace

std::string formatV(const char* format, va_list args)
{
    CLocaleScope cNumbers;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return {};
    if (static_cast<size_t>(needed) < sizeof small)
        return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatV(format, args);
    va_end(args);
    return text;
}

double parseDouble(const char* text)
{
    return strtod_l(text, nullptr, cLocale());
}

}  // namespace gc6890

namespace {

// Clamps (first, count) to the text as the framework does.
std::pair<size_t, size_t> clampRange(int length, int first, int count)
{
    first = std::clamp(first, 0, length);
    count = std::clamp(count, 0, length - first);
    return {static_cast<size_t>(first), static_cast<size_t>(count)};
}

}  // namespace

CString::CString(const char* text, int length)
{
    if (text && length > 0)
        m_text.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat) : m_text(static_cast<size_t>(std::max(repeat, 0)), ch) {}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    const auto [start, n] = clampRange(GetLength(), first, count);
    return CString(m_text.substr(start, n));
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    const size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    const size_t at = m_text.find(sub, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Compare(const char* other) const
{
    return std::strcmp(m_text.c_str(), other ? other : "");
}

CString& CString::MakeUpper()
{
    for (char& ch : m_text)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return *this;
}

int CString::Delete(int index, int count)
{
    const auto [start, n] = clampRange(GetLength(), index, count);
    m_text.erase(start, n);
    return GetLength();
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    m_text = gc6890::formatV(format, args);
    va_end(args);
}

CString& CString::operator=(const char* text)
{
    m_text = text ? text : "";
    return *this;
}

CString& CString::operator=(char ch)
{
    m_text.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& text)
{
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (text)
        m_text += text;
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_text += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    return CString(a.m_text + b.m_text);
}
CString operator+(const CString& a, const char* b)
{
    return CString(a.m_text + (b ? b : ""));
}
CString operator+(const char* a, const CString& b)
{
    return CString((a ? a : "") + b.m_text);
}
CString operator+(const CString& a, char b)
{
    return CString(a.m_text + b);
}
CString operator+(char a, const CString& b)
{
    return CString(a + b.m_text);
}

bool operator==(const CString& a, const CString& b)
{
    return a.str() == b.str();
}
bool operator==(const CString& a, const char* b)
{
    return a.Compare(b) == 0;
}
bool operator==(const char* a, const CString& b)
{
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b)
{
    return !(a == b);
}
bool operator!=(const CString& a, const char* b)
{
    return !(a == b);
}
bool operator!=(const char* a, const CString& b)
{
    return !(a == b);
}
bool operator<(const CString& a, const CString& b)
{
    return a.str() < b.str();
}
bool operator<(const CString& a, const char* b)
{
    return a.Compare(b) < 0;
}
bool operator<(const char* a, const CString& b)
{
    return b.Compare(a) > 0;
}
bool operator>(const CString& a, const CString& b)
{
    return b < a;
}
bool operator>(const CString& a, const char* b)
{
    return a.Compare(b) > 0;
}
bool operator>(const char* a, const CString& b)
{
    return b.Compare(a) < 0;
}
bool operator<=(const CString& a, const CString& b)
{
    return !(b < a);
}
bool operator>=(const CString& a, const CString& b)
{
    return !(a < b);
}
