// The method objects' operations, the method file and the load sequence.
#include "external/method_library.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "external/inlet_types.h"
#include "external/inlet_utils.h"
#include "external/method_file_toml.h"

namespace {
// Methods are a few kilobytes; anything far larger is not a method file.
constexpr std::streamoff kMaxMethodFileSize = 1 << 20;

CString& lastError()
{
    static CString text;
    return text;
}

const char* fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a pipe (FIFO)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

// The whole file, refused before anything is read when it is not a regular file (a
// device would never end, a pipe would wait for a writer) or larger than any method.
bool readMethodText(const std::string& path, std::string& text, std::string& problem)
{
    // O_NONBLOCK: opening a pipe does not wait for a writer; it is refused just below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok)
        problem = path + ": cannot open: " + std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        problem = path + ": is " + fileKind(info.st_mode) + ", not a method file";
    else if (info.st_size > kMaxMethodFileSize)
        problem = gc6890::format("%s: is %lld bytes, more than a method file's limit of %lld",
                                 path.c_str(), static_cast<long long>(info.st_size),
                                 static_cast<long long>(kMaxMethodFileSize));
    ok = ok && problem.empty();
    // Read no more than the limit allows, even if the file grows meanwhile.
    char buffer[8192];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem = path + ": cannot read: " + std::strerror(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else if (static_cast<std::streamoff>(text.size()) + got > kMaxMethodFileSize) {
            problem = path + ": too large for a method file";
            ok = false;
        } else {
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return ok;
}
}  // namespace

// ---------------------------------------------------------------------------------------
// CHP6890Method

double CHP6890Method::GetOvenProgramLength() const
{
    double length = m_Oven.m_fInitialTime;
    double temperature = m_Oven.m_fInitialTemperature;
    for (const CRamp& ramp : m_Oven.m_Ramps) {
        if (!(ramp.m_fRate > 0.0f))
            break;
        length += std::fabs(ramp.m_fFinal - temperature) / ramp.m_fRate + ramp.m_fTime;
        temperature = ramp.m_fFinal;
    }
    return length;
}

double CHP6890Method::GetRunLength() const
{
    return m_dRunLength > 0.0 ? m_dRunLength : GetOvenProgramLength();
}

int CHP6890Method::GetInletZoneOn(int side, int type) const
{
    const gc6890::InletType* row = gc6890::FindInletType(type);
    if ((side != Front && side != Back) || !row)
        return 0;
    return row->record(*this, side).zoneOn;
}

const CInletTempProgram* CHP6890Method::GetInletProgram(int side, int type) const
{
    const gc6890::InletType* row = gc6890::FindInletType(type);
    if ((side != Front && side != Back) || !row)
        return nullptr;
    return row->record(*this, side).program;
}

// ---------------------------------------------------------------------------------------
// CFileS

CFileS::CFileS() = default;

CFileS::~CFileS()
{
    if (m_bOpen)
        Close();
}

const CString& CFileS::GetLastErrorText()
{
    return lastError();
}

int CFileS::fail(const std::string& text, FrellError* error)
{
    m_strError = text.c_str();
    lastError() = m_strError;
    if (error)
        error->Set(1, m_strError);
    return 0;
}

int CFileS::Open(const char* fileName, unsigned flags, FrellError* error)
{
    if (m_bOpen)
        Close();
    m_strPath = fileName ? fileName : "";
    m_strError.Empty();
    m_pGC.reset();
    m_pALS.reset();
    m_text.clear();
    const std::string path = m_strPath.str();
    if (path.empty())
        return fail("no method file name given", error);

    if (flags & (modeWrite | modeCreate)) {
        m_bWriting = true;
        m_bOpen = true;
        return 1;
    }

    std::string text;
    if (std::string problem; !readMethodText(path, text, problem))
        return fail(problem, error);

    auto gc = std::make_unique<CHP6890Method>();
    auto als = std::make_unique<CALS6890Method>();
    std::string problem;
    if (!gc6890::readMethodToml(text, path, *gc, *als, problem))
        return fail(problem, error);
    m_pGC = std::move(gc);
    m_pALS = std::move(als);
    m_bWriting = false;
    m_bOpen = true;
    return 1;
}

int CFileS::Close()
{
    if (!m_bOpen)
        return 1;
    m_bOpen = false;
    m_pGC.reset();
    m_pALS.reset();
    if (!m_bWriting)
        return 1;
    m_bWriting = false;

    // Write beside the target, then rename over it: the old method stays whole until
    // the new one is complete on disk.
    const std::string path = m_strPath.str();
    const std::string temporary = path + ".tmp~";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(temporary + ": cannot create: " + std::strerror(errno), nullptr);
    size_t done = 0;
    while (done < m_text.size()) {
        const ssize_t n = ::write(fd, m_text.data() + done, m_text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(temporary + ": cannot write: " + std::strerror(saved), nullptr);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return fail(path + ": cannot write: " + std::strerror(saved), nullptr);
    }
    m_text.clear();
    return 1;
}

// ---------------------------------------------------------------------------------------
// The load and store of one stored method

int SerializeGCandALS(CArchiveS& archive, CHP6890Method& gcMethod, CALS6890Method& alsMethod)
{
    CFileS* file = archive.GetFile();
    if (!file || !file->m_bOpen)
        return 0;
    if (archive.IsStoring()) {
        if (!file->m_bWriting)
            return 0;
        file->m_text = gc6890::writeMethodToml(gcMethod, alsMethod);
        return 1;
    }
    if (!file->m_pGC || !file->m_pALS)
        return 0;
    gcMethod = *file->m_pGC;
    const CALS6890Method& read = *file->m_pALS;
    alsMethod.m_Status = read.m_Status;
    const int tag = alsMethod.m_Injection.m_nTag;
    alsMethod.m_Injection = read.m_Injection;
    alsMethod.m_Injection.m_nTag = tag;
    alsMethod.m_Syringe = read.m_Syringe;
    alsMethod.m_Error.Clear();
    gc6890::listALSFields(alsMethod);
    return 1;
}

namespace gc6890 {

bool ReadStoredMethodForRecord(const CString& name, CHP6890Method& gcMethod,
                               CALS6890Method& alsMethod)
{
    CString fileName = name;
    AddMethodFileExtension("HP6890", fileName);
    CFileS file;
    if (!file.Open(fileName, CFileS::modeRead | CFileS::shareDenyWrite, nullptr))
        return false;
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    SerializeGCandALS(archive, gcMethod, alsMethod);
    return true;
}

}  // namespace gc6890
