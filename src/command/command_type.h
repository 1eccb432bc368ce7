// Command heads: the six characters that open every line of the 6890 command language,
// held as a receiver address, a sender address and two operation letters ("GCHTST").
#pragma once

#include <array>

#include "platform/platform.h"

// Instrument addresses. Each is a single bit; the letters of each are in the address table
// (command_type.cpp). The type is int-based because conversions also yield 1 (two blanks)
// and several-bit values that no enumerator names.
enum tag_TARG_TYPE : int {
    TARG_NONE = 0x0,
    TARG_BLANK = 0x1,  // two blanks
    TARG_HT = 0x4,     // this program
    TARG_MV = 0x8,
    TARG_VX = 0x10,
    TARG_V8 = 0x20,
    TARG_V7 = 0x40,
    TARG_V6 = 0x80,
    TARG_V5 = 0x100,
    TARG_V4 = 0x200,
    TARG_V3 = 0x400,
    TARG_V2 = 0x800,
    TARG_V1 = 0x1000,
    TARG_SS = 0x2000,
    TARG_S2 = 0x4000,
    TARG_S1 = 0x8000,
    TARG_OV = 0x10000,
    TARG_IB = 0x20000,
    TARG_IF = 0x40000,
    TARG_GC = 0x80000,
    TARG_DB = 0x100000,
    TARG_DF = 0x200000,
    TARG_C2 = 0x400000,
    TARG_C1 = 0x800000,
    TARG_CC = 0x1000000,
    TARG_AX = 0x2000000,
    TARG_A5 = 0x4000000,
    TARG_A4 = 0x8000000,
    TARG_A3 = 0x10000000,
    TARG_A2 = 0x20000000,
    TARG_A1 = 0x40000000,
};

class CCommandType {
public:
    // The empty head: no addresses, no operation. Constant-initialised, so it is ready
    // before any other static object of the library is built.
    static const CCommandType NullCommand;

    constexpr CCommandType() = default;
    // A null command gives an empty operation.
    constexpr CCommandType(tag_TARG_TYPE first, tag_TARG_TYPE second, const char* command)
        : m_eSource(first), m_eDest(second)
    {
        if (command) {
            m_szCommand[0] = command[0];
            // An empty text has no second byte to read.
            m_szCommand[1] = command[0] ? command[1] : '\0';
        }
    }
    // Parse a head text; anything but exactly six characters gives the empty head.
    CCommandType(const char* head);     // NOLINT: implicit, heads are written as text
    CCommandType(const CString& head);  // NOLINT
    CCommandType(const CCommandType&) = default;
    CCommandType& operator=(const CCommandType&) = default;
    virtual ~CCommandType() = default;

    // The receiver: characters 1-2 of the head.
    tag_TARG_TYPE Source() const { return m_eSource; }
    // The sender: characters 3-4 of the head.
    tag_TARG_TYPE Dest() const { return m_eDest; }
    // The operation letters (empty for an empty head).
    CString Command() const;
    // The six-character head; an address of 0 gives two blanks.
    CString GetString() const;

    // Non-zero only when both addresses and both operation bytes are equal.
    BOOL operator==(const CCommandType& other) const;

protected:
    static tag_TARG_TYPE ConvertCharsToTARG_TYPE(const CString& letters);
    static CString ConvertTARG_TYPEToChars(const tag_TARG_TYPE& value);
    // The number of significant bits of n; 0 for n below 1.
    static int log2(int n);
    void copy(const CString& head);

private:
    tag_TARG_TYPE m_eSource = TARG_NONE;
    tag_TARG_TYPE m_eDest = TARG_NONE;
    // Two operation letters and a terminating zero byte, owned by value.
    std::array<char, 3> m_szCommand{};
};
