// The comms log: time-stamped entries appended to "c:\dravik\hp6890.err", filtered by a
// severity threshold (1 failures and instrument messages, 2 the whole line traffic).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace gc6890 {
// Told of every entry the comms log writes (the text without its time stamp, the
// severity), on the thread that logged it. Not part of the design: a host that serves the
// log to others (the instrument service) hears it here instead of reading the file back.
using CommsLogObserver = std::function<void(const std::string& text, int severity)>;
// Installs the observer (an empty one removes it) and returns the previous one.
CommsLogObserver SetCommsLogObserver(CommsLogObserver observer);
}  // namespace gc6890

class CHP6890ErrorLog {
public:
    // Reads the threshold, then checks the log's size and offers a backup when it is full.
    CHP6890ErrorLog();
    virtual ~CHP6890ErrorLog() = default;
    CHP6890ErrorLog(const CHP6890ErrorLog&) = delete;
    CHP6890ErrorLog& operator=(const CHP6890ErrorLog&) = delete;

    // Appends one entry when severity is at or below the threshold. Always returns 1; a
    // file error shows the "File Error" box and goes no further (the next entry opens the
    // log again).
    int LogError(CString message, int severity);
    // One line of traffic, the entry "<what>\t(<line>)" (as LogError would write it), built
    // straight into the entry: at level 2 every exchange writes two of these.
    int LogTraffic(std::string_view what, const CString& line, int severity);

    int Threshold() const { return m_nThreshold; }

    // The log file's name ("c:\dravik\hp6890." + "err"), before the drive mapping.
    static CString LogFileName();

private:
    // Opens the log for appending, unless it is open and still the file at the log's name.
    bool OpenForEntry();
    int ReadThreshold();
    void CheckLogSize();
    int MoveToBackup();
    CString BackupFileName() const;
    void AppendTimeStamp(std::string& entry);
    // The entry made of these parts, one after the other.
    int Append(std::initializer_list<std::string_view> parts, int severity);
    static void ShowFileError();

    // Open between entries, appending: each entry is one write, so a killed process loses
    // nothing. Checked against the file at the log's name (its device and inode) before an
    // entry, so a log moved or replaced by a backup or another program is followed.
    CFile m_file;
    int m_nThreshold = 1;
    std::string m_path;  // the log's name after the drive mapping
    dev_t m_device = 0;
    ino_t m_inode = 0;
    // When the open file was last found at the log's name (the library's milliseconds).
    std::uint64_t m_lookedAt = 0;
    std::string m_entry;  // one entry's text, kept so that its storage is reused
    std::string m_stamp;  // the time stamp of the second m_stampTime
    std::time_t m_stampTime = 0;
};
