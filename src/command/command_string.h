// Command strings: a head plus typed, comma-separated arguments ("GCHTRT 0.00,7,1"),
// parsed from the instrument's replies and formatted back into lines to send.
//
// Line format: a six-character head, one separator character (a blank), then arguments
// separated by commas. Integers are written "%d", floats "%.2f" and texts as they are;
// numbers always with "." whatever the locale. Quotes and semicolons are not interpreted:
// they stay inside their argument.
#pragma once

#include <memory>

#include "command/command_type.h"
#include "platform/platform.h"

// One argument's value; which member is valid is told by tag_WHICH_INT_FLOAT_STRING.
// A text is a heap CString owned by the command string that holds it.
union INT_FLOAT_STRING {
    int nValue;
    float fValue;
    CString* pString;
};

enum tag_WHICH_INT_FLOAT_STRING : int {
    ARG_STRING = 0,
    ARG_FLOAT = 1,
    ARG_INT = 2,
};

class CCommandString {
public:
    // The empty head and no arguments.
    CCommandString();
    // A count of 0 or less gives no arguments. With both arrays given, their types and
    // values are copied (texts into new CStrings of this object); when either is null,
    // every argument is the integer 0.
    CCommandString(CCommandType head, int count, const INT_FLOAT_STRING* values = nullptr,
                   const tag_WHICH_INT_FLOAT_STRING* types = nullptr);
    // Parses one line: the head from its first six characters, arguments after the
    // seventh. A letter first makes a text, a point a float, anything else an integer (the
    // C library's atoi rules); the first empty argument and all after it are integer 0.
    explicit CCommandString(const CString& line);
    CCommandString(const CCommandString& other);
    CCommandString& operator=(const CCommandString& other);
    virtual ~CCommandString();

    CCommandType& GetType() { return m_Type; }
    const CCommandType& GetType() const { return m_Type; }

    // The number of arguments (as counted by the parser, or as given).
    int GetArgumentCount() const { return m_nArgs; }

    // None of the argument accessors checks i: callers pass indexes below the count.
    tag_WHICH_INT_FLOAT_STRING GetArgumentType(int i) const { return m_pArgTypes[i]; }
    // The raw value of argument i. Write only the member of the argument's own kind: a
    // text's pointer belongs to this object.
    INT_FLOAT_STRING& GetArgument(int i) { return m_pArgs[i]; }
    const INT_FLOAT_STRING& GetArgument(int i) const { return m_pArgs[i]; }
    INT_FLOAT_STRING& operator[](int i) { return GetArgument(i); }
    const INT_FLOAT_STRING& operator[](int i) const { return GetArgument(i); }

    // Makes argument i a text holding the given text.
    void SetArgumentString(int i, CString text);

    // The line: head, one blank, then the arguments. Without arguments it ends in a blank.
    virtual CString GetString() const;

protected:
    void SetType(const CCommandType& head) { m_Type = head; }
    // Make argument i a number; a text held there is freed first.
    void SetArgumentInt(int i, const int& value);
    void SetArgumentFloat(int i, const float& value);

    CString MakeArgString(int i) const;
    CString MakeArgsString() const;
    // Frees every text argument and both arrays; the command has no arguments afterwards.
    void DeleteMem();

private:
    void allocate(int count);
    void copyArguments(const CCommandString& other);
    void freeString(int i);

    CCommandType m_Type;
    int m_nArgs = 0;
    std::unique_ptr<INT_FLOAT_STRING[]> m_pArgs;
    std::unique_ptr<tag_WHICH_INT_FLOAT_STRING[]> m_pArgTypes;
};
