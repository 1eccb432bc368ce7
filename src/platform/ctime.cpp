#include "platform/ctime.h"

namespace {

CString formatTime(const char* format, const tm& parts)
{
    char text[256];
    const size_t length = format ? std::strftime(text, sizeof text, format, &parts) : 0;
    return CString(text, static_cast<int>(length));
}

}  // namespace

CString CTime::Format(const char* format) const
{
    tm parts{};
    localtime_r(&m_time, &parts);
    return formatTime(format, parts);
}
