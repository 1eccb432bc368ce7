// CTime: a point in wall-clock time, in seconds, formatted with strftime in local time.
#pragma once

#include <ctime>

#include "platform/cstring.h"

class CTime {
public:
    CTime() = default;
    explicit CTime(time_t time) : m_time(time) {}

    time_t GetTime() const { return m_time; }
    // strftime in local time ("%c" gives the locale's date and time); empty when the
    // result would exceed 255 bytes.
    CString Format(const char* format) const;

private:
    time_t m_time = 0;
};
