// Hardware profiles for the simulator: the library's profile reader
// (external/hardware_profile.h) applied to a simulator configuration.
#pragma once

#include <string>

#include "sim/instrument.h"

namespace gc6890::sim {

// Reads the profile at `path` into `config` (its hardware, firmware and sampler). False
// with `error` naming the file, line and key when the file cannot be read or holds a key
// or value the format does not know; `config` is then left as it was.
bool loadHardwareProfile(const std::string& path, SimConfig& config, std::string& error);

}  // namespace gc6890::sim
