// CFile over a POSIX file descriptor, with the framework's open flags. Names go through
// the drive mapping (drive_paths.h), so "c:\dravik\hp6890.err" lands under $GC6890_HOME.
//
// Failures throw CFileException (as a pointer, see exceptions.h) naming the file, except
// Open(), which reports through its result and the optional exception object. Share modes
// are accepted and not enforced (POSIX files have none); text and binary mode are the
// same (no line-end translation).
#pragma once

#include "platform/cobject.h"
#include "platform/cstring.h"
#include "platform/exceptions.h"
#include "platform/types.h"

class CFile : public CObject {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    static constexpr int hFileNull = -1;

    CFile() = default;
    // Opens the file or throws CFileException.
    CFile(LPCTSTR fileName, UINT openFlags);
    // Closes the file; errors are ignored here.
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // modeCreate makes the file (emptying an existing one unless modeNoTruncate is given);
    // without it the file must exist. FALSE on failure, with `error` filled when given.
    // The file is always opened close-on-exec.
    virtual BOOL Open(LPCTSTR fileName, UINT openFlags, CFileException* error = nullptr);
    virtual void Close();
    // Closes without throwing.
    void Abort();

    // Moves to the end (appends go there); returns the new position, the length.
    ULONGLONG SeekToEnd();
    virtual ULONGLONG GetLength() const;

    // Writes every byte or throws (diskFull when the disk is full).
    virtual void Write(const void* buffer, UINT count);

    // Moves a file; fails (throws) when the new name exists already, as the system's move
    // does, rather than replacing it.
    static void Rename(LPCTSTR oldName, LPCTSTR newName);

    int m_hFile = hFileNull;

private:
    [[noreturn]] void throwLastError() const;

    CString m_strFileName;
};
