#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/drive_paths.h"

namespace {

[[noreturn]] void throwErrno(int error, const char* fileName)
{
    AfxThrowFileException(CFileException::OsErrorToException(error), error, fileName);
}

}  // namespace

CFile::CFile(LPCTSTR fileName, UINT openFlags)
{
    CFileException error;
    if (!Open(fileName, openFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCTSTR fileName, UINT openFlags, CFileException* error)
{
    if (m_hFile != hFileNull)
        Abort();
    const CString name = fileName ? fileName : "";
    int flags = O_CLOEXEC;
    switch (openFlags & 0x3) {
    case modeRead:
        flags |= O_RDONLY;
        break;
    case modeWrite:
        flags |= O_WRONLY;
        break;
    default:
        flags |= O_RDWR;
        break;
    }
    if (openFlags & modeCreate)
        flags |= (openFlags & modeNoTruncate) ? O_CREAT : (O_CREAT | O_TRUNC);
    const std::string path = gc6890::mapDrivePath(name.str());
    // The home's folders are made on first use: no installation step makes them.
    if (openFlags & modeCreate)
        gc6890::makeDriveFolderFor(name.str());
    const int fd = name.IsEmpty() ? -1 : open(path.c_str(), flags, 0666);
    if (fd < 0) {
        const int cause = name.IsEmpty() ? ENOENT : errno;
        if (error) {
            error->m_cause = CFileException::OsErrorToException(cause);
            error->m_lOsError = cause;
            error->m_strFileName = name;
        }
        return FALSE;
    }
    m_hFile = fd;
    m_strFileName = name;
    return TRUE;
}

void CFile::Close()
{
    if (m_hFile == hFileNull)
        return;
    const int fd = m_hFile;
    m_hFile = hFileNull;
    if (close(fd) != 0 && errno != EINTR)
        throwErrno(errno, m_strFileName);
}

void CFile::Abort()
{
    if (m_hFile != hFileNull)
        close(m_hFile);
    m_hFile = hFileNull;
}

void CFile::throwLastError() const
{
    throwErrno(m_hFile == hFileNull ? EBADF : errno, m_strFileName);
}

ULONGLONG CFile::SeekToEnd()
{
    const off_t position = lseek(m_hFile, 0, SEEK_END);
    if (position < 0)
        throwLastError();
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetLength() const
{
    struct stat info {};
    if (fstat(m_hFile, &info) != 0)
        throwLastError();
    return static_cast<ULONGLONG>(info.st_size);
}

void CFile::Write(const void* buffer, UINT count)
{
    UINT done = 0;
    while (done < count) {
        const ssize_t wrote = write(m_hFile, static_cast<const char*>(buffer) + done, count - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            throwLastError();
        if (wrote == 0)
            throwErrno(ENOSPC, m_strFileName);
        done += static_cast<UINT>(wrote);
    }
}

void CFile::Rename(LPCTSTR oldName, LPCTSTR newName)
{
    const std::string from = gc6890::mapDrivePath(oldName ? oldName : "");
    const std::string to = gc6890::mapDrivePath(newName ? newName : "");
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        throwErrno(errno, oldName);
    // A file system without RENAME_NOREPLACE: check first (a small window, single user).
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0)
        throwErrno(EEXIST, newName);
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throwErrno(errno, oldName);
}
