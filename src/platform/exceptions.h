// The framework's exceptions. As in the framework they are thrown as pointers to objects
// made with new, and whoever catches one deletes it:
//
//     try { ... } catch (CUserException* e) { e->Delete(); }
//
// Library operations never let them out (they return 1 or 0); they stay inside the
// platform layer and the code that calls it.
#pragma once

#include "platform/cobject.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CException : public CObject {
public:
    // Copies a short description into `text` (at most maxLength bytes with the NUL);
    // FALSE when there is none.
    virtual BOOL GetErrorMessage(LPTSTR text, UINT maxLength, UINT* helpContext = nullptr) const;
    // Frees the exception; call it instead of delete once it is handled.
    void Delete() { delete this; }

protected:
    CException() = default;
};

// The library's own failure signal: "a failure already reported, give up".
class CUserException : public CException {
public:
    BOOL GetErrorMessage(LPTSTR text, UINT maxLength, UINT* helpContext = nullptr) const override;
};

class CFileException : public CException {
public:
    enum {
        none = 0,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    explicit CFileException(int cause = none, LONG osError = -1, LPCTSTR fileName = nullptr)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
    {}

    // "<file>: <what went wrong>", with the system's text when there is an errno.
    BOOL GetErrorMessage(LPTSTR text, UINT maxLength, UINT* helpContext = nullptr) const override;

    // The cause that an errno value stands for.
    static int OsErrorToException(LONG osError);

    int m_cause;
    LONG m_lOsError;  // errno, or -1
    CString m_strFileName;
};

[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCTSTR fileName = nullptr);
