// The method check before a download: the GC's method rules (method_rules.h) applied to a
// stored method, value by value as the download would send it, against the hardware of a
// profile or of a connected GC. Every breach is kept, named by its method file key.
#pragma once

#include <string>
#include <vector>

#include "external/installed_hardware.h"
#include "external/method_library.h"
#include "method/method_rules.h"

namespace gc6890 {

struct MethodFinding {
    std::string key;    // the method file key: "gc.oven.ramps[2].final"
    std::string value;  // as the download would send it
    RuleBreach breach;
};

// `hardware` null: not known. Then only the rules that need no hardware run, and the oven
// maximum is held to the highest the GC has.
std::vector<MethodFinding> CheckMethodRules(const CHP6890Method& method,
                                            const InstalledHardware* hardware);

}  // namespace gc6890
