// The hardware installed in the simulated GC is the library's description of installed
// hardware (external/installed_hardware.h), which the method rules read as well.
#pragma once

#include "external/installed_hardware.h"

namespace gc6890::sim {

using Hardware = gc6890::InstalledHardware;
using gc6890::ColumnHardware;
using gc6890::inletCode;
using gc6890::InletHardware;
using gc6890::InletKind;
using gc6890::inletLabel;
using gc6890::inletPneumatics;
using gc6890::kCryoNames;
using gc6890::kDetectorNames;
using gc6890::kGasNames;
using gc6890::kInletKindNames;

}  // namespace gc6890::sim
