#include "command/command_string.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// The argument part of a line: everything after the head and its separator, with a comma
// appended so that every argument ends in one.
CString argumentPart(const CString& line)
{
    return line.Mid(7) + ",";
}

// Single precision of a parsed double; values beyond its range become infinities, as the
// hardware conversion gives, without relying on an out-of-range conversion.
float toFloat(double value)
{
    constexpr double largest = std::numeric_limits<float>::max();
    if (value > largest)
        return std::numeric_limits<float>::infinity();
    if (value < -largest)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

}  // namespace

CCommandString::CCommandString() : m_Type(CCommandType::NullCommand) {}

CCommandString::CCommandString(CCommandType head, int count, const INT_FLOAT_STRING* values,
                               const tag_WHICH_INT_FLOAT_STRING* types)
    : m_Type(head), m_nArgs(count)
{
    if (count <= 0)
        return;
    allocate(count);
    for (int i = 0; i < count; ++i) {
        if (!values || !types) {
            m_pArgTypes[i] = ARG_INT;
            m_pArgs[i].nValue = 0;
        } else if (types[i] == ARG_STRING) {
            m_pArgTypes[i] = ARG_STRING;
            m_pArgs[i].pString = new CString(values[i].pString ? *values[i].pString : CString());
        } else {
            m_pArgTypes[i] = types[i];
            m_pArgs[i] = values[i];
        }
    }
}

CCommandString::CCommandString(const CString& line) : m_Type(line.Left(6))
{
    // Counting pass: empty arguments count, the appended comma does not.
    CString rest = argumentPart(line);
    int count = 0;
    for (int comma = rest.Find(','); comma >= 0 && rest.GetLength() >= 2; comma = rest.Find(',')) {
        ++count;
        rest = rest.Mid(comma + 1);
    }
    m_nArgs = count;
    if (count == 0)
        return;
    allocate(count);

    // Reading pass: stops at the first empty argument.
    rest = argumentPart(line);
    int i = 0;
    for (; i < count && rest.GetLength() >= 2 && rest[0] != ','; ++i) {
        const int comma = rest.Find(',');
        const CString token = rest.Left(comma);
        if (std::isalpha(static_cast<unsigned char>(token[0]))) {
            m_pArgTypes[i] = ARG_STRING;
            m_pArgs[i].pString = new CString(token);
        } else if (token.Find('.') >= 0) {
            m_pArgTypes[i] = ARG_FLOAT;
            m_pArgs[i].fValue = toFloat(gc6890::parseDouble(token.c_str()));
        } else {
            m_pArgTypes[i] = ARG_INT;
            m_pArgs[i].nValue = std::atoi(token.c_str());
        }
        rest = rest.Mid(comma + 1);
    }
    for (; i < count; ++i) {
        m_pArgTypes[i] = ARG_INT;
        m_pArgs[i].nValue = 0;
    }
}

CCommandString::CCommandString(const CCommandString& other) : m_Type(other.m_Type)
{
    copyArguments(other);
}

CCommandString& CCommandString::operator=(const CCommandString& other)
{
    if (this == &other)
        return *this;
    DeleteMem();
    m_Type = other.m_Type;
    copyArguments(other);
    return *this;
}

CCommandString::~CCommandString()
{
    DeleteMem();
}

void CCommandString::SetArgumentString(int i, CString text)
{
    if (m_pArgTypes[i] != ARG_STRING)
        m_pArgs[i].pString = new CString;
    m_pArgTypes[i] = ARG_STRING;
    *m_pArgs[i].pString = text;
}

void CCommandString::SetArgumentInt(int i, const int& value)
{
    freeString(i);
    m_pArgTypes[i] = ARG_INT;
    m_pArgs[i].nValue = value;
}

void CCommandString::SetArgumentFloat(int i, const float& value)
{
    freeString(i);
    m_pArgTypes[i] = ARG_FLOAT;
    m_pArgs[i].fValue = value;
}

CString CCommandString::GetString() const
{
    return m_Type.GetString() + " " + MakeArgsString();
}

CString CCommandString::MakeArgString(int i) const
{
    CString text;
    switch (m_pArgTypes[i]) {
    case ARG_STRING:
        if (m_pArgs[i].pString)
            text = *m_pArgs[i].pString;
        break;
    case ARG_FLOAT:
        text.Format("%.2f", static_cast<double>(m_pArgs[i].fValue));
        break;
    case ARG_INT:
        text.Format("%d", m_pArgs[i].nValue);
        break;
    }
    return text;
}

CString CCommandString::MakeArgsString() const
{
    CString text;
    if (!m_pArgs)
        return text;
    for (int i = 0; i < m_nArgs; ++i)
        text += "," + MakeArgString(i);
    return text.Mid(1);
}

void CCommandString::DeleteMem()
{
    if (m_pArgs) {
        for (int i = 0; i < m_nArgs; ++i)
            freeString(i);
    }
    m_pArgs.reset();
    m_pArgTypes.reset();
    m_nArgs = 0;
}

void CCommandString::allocate(int count)
{
    m_pArgs = std::make_unique<INT_FLOAT_STRING[]>(static_cast<size_t>(count));
    m_pArgTypes = std::make_unique<tag_WHICH_INT_FLOAT_STRING[]>(static_cast<size_t>(count));
}

// Deep copy of the arguments into this object, which holds none.
void CCommandString::copyArguments(const CCommandString& other)
{
    m_nArgs = other.m_nArgs;
    if (!other.m_pArgs || !other.m_pArgTypes)
        return;
    allocate(m_nArgs);
    for (int i = 0; i < m_nArgs; ++i) {
        m_pArgTypes[i] = other.m_pArgTypes[i];
        if (m_pArgTypes[i] == ARG_STRING) {
            const CString* source = other.m_pArgs[i].pString;
            m_pArgs[i].pString = new CString(source ? *source : CString());
        } else {
            m_pArgs[i] = other.m_pArgs[i];
        }
    }
}

// Frees argument i's text, if it holds one; the slot then holds no pointer.
void CCommandString::freeString(int i)
{
    if (m_pArgTypes[i] == ARG_STRING) {
        delete m_pArgs[i].pString;
        m_pArgs[i].pString = nullptr;
    }
}
