// Where the comms log is on this machine, for messages and "gc6890 log".
#pragma once

#include <string>

#include "diagnostics/error_log.h"
#include "platform/platform.h"

namespace gc6890::cli {

inline std::string commsLogPath()
{
    return mapDrivePath(CHP6890ErrorLog::LogFileName().str());
}

}  // namespace gc6890::cli
