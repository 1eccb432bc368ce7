// The flags of a host status record as the names of those set ("not-ready running"), so
// that a test states them in one short expectation.
#pragma once

#include <string>
#include <utility>

#include "interface/inlet_system_status.h"

namespace gc6890::test {

inline std::string statusFlags(CInletSystemStatus& status)
{
    std::string names;
    for (const auto& [set, name] : {std::pair{status.GetNotReady(), "not-ready"},
                                    {status.GetRunning(), "running"},
                                    {status.GetPostRunning(), "post-run"},
                                    {status.GetInjecting(), "injecting"},
                                    {status.GetError(), "error"}})
        if (set)
            names += names.empty() ? name : std::string(" ") + name;
    return names;
}

}  // namespace gc6890::test
