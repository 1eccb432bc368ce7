#include "diagnostics/error_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <utility>

#include "external/inlet_utils.h"
#include "platform/clock.h"

namespace {

const char kLogStem[] = "c:\\dravik\\hp6890.";
const char kLogExtension[] = "err";
const char kThresholdPath[] = "Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel";
const char kMaxSizePath[] = "Inlets\\Hubrel\\Varnock\\MaxLogSize";
constexpr int kDefaultMaxLogSize = 10485760;
constexpr int kLastBackupNumber = 998;

gc6890::CommsLogObserver& logObserver()
{
    static gc6890::CommsLogObserver observer;
    return observer;
}

bool fileExists(const CString& name)
{
    return access(gc6890::mapDrivePath(name.str()).c_str(), F_OK) == 0;
}

}  // namespace

gc6890::CommsLogObserver gc6890::SetCommsLogObserver(CommsLogObserver observer)
{
    return std::exchange(logObserver(), std::move(observer));
}

CString CHP6890ErrorLog::LogFileName()
{
    return CString(kLogStem) + kLogExtension;
}

CHP6890ErrorLog::CHP6890ErrorLog() : m_path(gc6890::mapDrivePath(LogFileName().str()))
{
    ReadThreshold();
    CheckLogSize();
}

int CHP6890ErrorLog::ReadThreshold()
{
    m_nThreshold = 1;
    ReadRegistryPath(kThresholdPath, m_nThreshold, HKEY_LOCAL_MACHINE);
    return m_nThreshold >= 1 ? 1 : 0;
}

void CHP6890ErrorLog::AppendTimeStamp(std::string& entry)
{
    // Formatted once a second: at level 2 every line written and read is an entry.
    const std::time_t now = std::time(nullptr);
    if (now != m_stampTime || m_stamp.empty()) {
        std::tm local{};
        localtime_r(&now, &local);
        char text[128];
        m_stamp.assign(text, std::strftime(text, sizeof text, "%c", &local));
        m_stampTime = now;
    }
    entry += m_stamp;
}

void CHP6890ErrorLog::ShowFileError()
{
    MessageBox(nullptr,
               "Error occured while writing to log file.\n If problem perists disable logging.",
               "File Error", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

bool CHP6890ErrorLog::OpenForEntry()
{
    const std::uint64_t now = gc6890::nowMilliseconds();
    if (m_file.m_hFile != CFile::hFileNull) {
        // One look at the log's name per kLookEveryMs at most: on any instrument's line an
        // entry comes less often (at 9600 baud a line and its answer take some 50 ms), so
        // every entry looks; only a faster line (a pseudo-terminal) writes a few entries
        // between looks, to the file the last look found. A log moved meanwhile gets them
        // (nothing is lost), a log deleted meanwhile takes them with it. Looking at every
        // entry made the log at level 2 cost some 1.5 times level 1 per exchange on such a
        // line; the look (a stat of the name) was a third of that.
        constexpr std::uint64_t kLookEveryMs = 5;
        if (now - m_lookedAt <= kLookEveryMs)
            return true;
        struct stat named {};
        if (stat(m_path.c_str(), &named) == 0 && named.st_dev == m_device &&
            named.st_ino == m_inode) {
            m_lookedAt = now;
            return true;
        }
        m_file.Abort();  // moved or replaced: the entry goes to the file at the log's name
    }
    if (!m_file.Open(LogFileName(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite))
        return false;
    struct stat opened {};
    if (fcntl(m_file.m_hFile, F_SETFL, O_APPEND) != 0 || fstat(m_file.m_hFile, &opened) != 0) {
        m_file.Abort();
        return false;
    }
    m_device = opened.st_dev;
    m_inode = opened.st_ino;
    m_lookedAt = now;  // just opened by its name
    return true;
}

int CHP6890ErrorLog::LogError(CString message, int severity)
{
    return Append({message.str()}, severity);
}

int CHP6890ErrorLog::LogTraffic(std::string_view what, const CString& line, int severity)
{
    return Append({what, "\t(", line.str(), ")"}, severity);
}

int CHP6890ErrorLog::Append(std::initializer_list<std::string_view> parts, int severity)
{
    if (severity > m_nThreshold)
        return 1;
    if (logObserver()) {  // told even when the file cannot be written
        std::string message;
        for (std::string_view part : parts)
            message += part;
        logObserver()(message, severity);
    }
    if (!OpenForEntry()) {
        ShowFileError();
        return 1;
    }
    m_entry.clear();
    AppendTimeStamp(m_entry);
    m_entry += "\t\t";
    for (std::string_view part : parts)
        m_entry += part;
    m_entry += '\n';
    try {
        m_file.Write(m_entry.data(), static_cast<UINT>(m_entry.size()));
    } catch (CFileException* error) {
        error->Delete();
        m_file.Abort();
        ShowFileError();
    }
    return 1;
}

void CHP6890ErrorLog::CheckLogSize()
{
    int maxSize = kDefaultMaxLogSize;
    ReadRegistryPath(kMaxSizePath, maxSize, HKEY_LOCAL_MACHINE);
    try {
        if (!m_file.Open(LogFileName(), CFile::modeWrite | CFile::modeNoTruncate)) {
            m_file.Open(LogFileName(), CFile::modeCreate | CFile::modeWrite);
            m_file.Abort();
            return;
        }
        if (m_file.GetLength() > static_cast<ULONGLONG>(maxSize)) {
            const int answer =
                MessageBox(nullptr, " Log file full.\nDo you want to keep a backup of current log?",
                           "Backup Log?", MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
            m_file.Close();
            if (answer == IDYES)
                MoveToBackup();  // a failed move loses the entries: the log is emptied all the same
            m_file.Open(LogFileName(), CFile::modeCreate | CFile::modeWrite);
        }
        m_file.Abort();
    } catch (CFileException* error) {
        error->Delete();
        m_file.Abort();
    }
}

CString CHP6890ErrorLog::BackupFileName() const
{
    // The lowest free three-digit number, so backups sort in the order they were made.
    for (int number = 1; number <= kLastBackupNumber; ++number) {
        CString name;
        name.Format("%s%03d", kLogStem, number);
        if (!fileExists(name))
            return name;
    }
    return CString(kLogStem) + "001";  // every number taken: the move fails, the log is emptied
}

int CHP6890ErrorLog::MoveToBackup()
{
    const CString backup = BackupFileName();
    if (fileExists(backup))
        return 0;
    try {
        CFile::Rename(LogFileName(), backup);
    } catch (CFileException* error) {
        error->Delete();
        return 0;
    }
    return 1;
}
