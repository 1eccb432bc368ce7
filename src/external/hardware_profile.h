// Hardware profiles: a TOML file naming what is installed in a GC (inlets, detectors,
// columns, oven, sampler, firmware). The simulator is built from one (gc6890-sim
// --profile), and the method check checks a method against one (method check --profile).
// Format in docs/simulator.md.
#pragma once

#include <optional>
#include <string>

#include "external/installed_hardware.h"

namespace gc6890 {

struct HardwareProfile {
    InstalledHardware hardware;
    // What the profile names of the firmware and the sampler; unset: not named.
    std::optional<std::string> firmware;
    std::optional<bool> frontTower;
    std::optional<bool> backTower;
    std::optional<int> tray;
};

// Reads the profile at `path`. False with `error` naming the file, line and key when the
// file cannot be read or holds a key or value the format does not know; `profile` is then
// left as it was.
bool readHardwareProfile(const std::string& path, HardwareProfile& profile, std::string& error);

// The profile as the TOML text readHardwareProfile reads back to the same profile: every
// key written, so that a captured profile says all that the GC told (gc6890 profile
// capture). `comment` goes first, as "# " lines.
std::string hardwareProfileText(const HardwareProfile& profile, const std::string& comment = {});

}  // namespace gc6890
