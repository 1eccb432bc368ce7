#include "command/command_type.h"

namespace {

// The address table: 32 entries of two characters, comma-separated. Entry k starts at
// character 3k; entries 0 to 2 are two blanks. The conversions below search and index this
// one string, commas included.
constexpr char kAddressTable[] =
    "  ,  ,  "
    ",HT,MV,VX,V8,V7,V6,V5,V4,V3,V2,V1,SS,S2,S1,OV,IB,IF,GC,DB,DF,C2,C1,CC,AX,A5,A4,A3,A2,A1";

}  // namespace

constinit const CCommandType CCommandType::NullCommand;

CCommandType::CCommandType(const char* head)
{
    copy(CString(head));
}

CCommandType::CCommandType(const CString& head)
{
    copy(head);
}

CString CCommandType::Command() const
{
    return CString(m_szCommand.data());
}

CString CCommandType::GetString() const
{
    return ConvertTARG_TYPEToChars(m_eSource) + ConvertTARG_TYPEToChars(m_eDest) + Command();
}

BOOL CCommandType::operator==(const CCommandType& other) const
{
    return m_eSource == other.m_eSource && m_eDest == other.m_eDest &&
           m_szCommand[0] == other.m_szCommand[0] && m_szCommand[1] == other.m_szCommand[1];
}

// A plain substring search: letters that straddle two entries ("T,") are found too and
// take the value of their position. Two blanks are found at character 0 and give 1.
tag_TARG_TYPE CCommandType::ConvertCharsToTARG_TYPE(const CString& letters)
{
    const int at = CString(kAddressTable).Find(letters.c_str());
    if (at < 0)
        return TARG_NONE;
    // (at - 1) / 3 truncates towards zero, so characters 0 to 3 all give bit 0. A single
    // letter can be found at the last character (bit 31): shift unsigned, then wrap.
    const unsigned bit = 1u << ((at - 1) / 3);
    return static_cast<tag_TARG_TYPE>(static_cast<int>(bit));
}

// For a value with several bits set, the highest bit decides; values 1 and 2 name the
// blank entries 1 and 2.
CString CCommandType::ConvertTARG_TYPEToChars(const tag_TARG_TYPE& value)
{
    if (value == TARG_NONE)
        return CString("  ");
    return CString(kAddressTable + 3 * log2(value), 2);
}

int CCommandType::log2(int n)
{
    int bits = 0;
    for (; n > 0; n >>= 1)
        ++bits;
    return bits;
}

void CCommandType::copy(const CString& head)
{
    if (head.GetLength() != 6) {
        m_eSource = TARG_NONE;
        m_eDest = TARG_NONE;
        m_szCommand = {};
        return;
    }
    m_eSource = ConvertCharsToTARG_TYPE(head.Mid(0, 2));
    m_eDest = ConvertCharsToTARG_TYPE(head.Mid(2, 2));
    m_szCommand = {head[4], head[5], '\0'};
}
