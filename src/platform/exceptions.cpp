#include "platform/exceptions.h"

#include <cerrno>
#include <cstring>

namespace {

BOOL copyMessage(const char* message, LPTSTR text, UINT maxLength)
{
    if (!text || maxLength == 0)
        return FALSE;
    std::strncpy(text, message, maxLength - 1);
    text[maxLength - 1] = '\0';
    return TRUE;
}

const char* causeText(int cause)
{
    static const char* const texts[] = {
        "no error",
        "unspecified error",
        "file not found",
        "bad path",
        "too many open files",
        "access denied",
        "invalid file",
        "cannot remove current folder",
        "folder full",
        "bad seek",
        "hardware I/O error",
        "sharing violation",
        "lock violation",
        "disk full",
        "end of file",
    };
    return cause >= 0 && cause <= CFileException::endOfFile ? texts[cause] : "unspecified error";
}

}  // namespace

BOOL CException::GetErrorMessage(LPTSTR, UINT, UINT*) const
{
    return FALSE;
}

BOOL CUserException::GetErrorMessage(LPTSTR text, UINT maxLength, UINT*) const
{
    return copyMessage("operation given up", text, maxLength);
}

BOOL CFileException::GetErrorMessage(LPTSTR text, UINT maxLength, UINT*) const
{
    CString message = m_strFileName.IsEmpty() ? CString("file") : m_strFileName;
    message += ": ";
    message += causeText(m_cause);
    if (m_lOsError > 0) {
        message += " (";
        message += std::strerror(static_cast<int>(m_lOsError));
        message += ")";
    }
    return copyMessage(message, text, maxLength);
}

int CFileException::OsErrorToException(LONG osError)
{
    switch (osError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:
    case EISDIR:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case EBUSY:
    case ETXTBSY:
        return sharingViolation;
    case EWOULDBLOCK:
        return lockViolation;
    case ENOSPC:
    case EDQUOT:
        return diskFull;
    case EINVAL:
    case ESPIPE:
        return badSeek;
    case EIO:
        return hardIO;
    default:
        return genericException;
    }
}

void AfxThrowUserException()
{
    throw new CUserException;
}

void AfxThrowFileException(int cause, LONG osError, LPCTSTR fileName)
{
    throw new CFileException(cause, osError, fileName);
}
