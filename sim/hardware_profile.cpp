#include "sim/hardware_profile.h"

#include "external/hardware_profile.h"

namespace gc6890::sim {

bool loadHardwareProfile(const std::string& path, SimConfig& config, std::string& error)
{
    HardwareProfile profile;
    if (!readHardwareProfile(path, profile, error))
        return false;
    SimConfig result = config;
    if (profile.firmware)
        result.gc.firmware = *profile.firmware;
    result.sampler.frontTower = profile.frontTower.value_or(result.sampler.frontTower);
    result.sampler.backTower = profile.backTower.value_or(result.sampler.backTower);
    result.sampler.trayPositions = profile.tray.value_or(result.sampler.trayPositions);
    result.sampler.installed = profile.hardware.sampler;
    if (!profile.hardware.sampler)
        result.sampler.frontTower = result.sampler.backTower = false;
    result.gc.hardware = profile.hardware;
    result.gc.backInlet = profile.hardware.backInlet();
    result.gc.ovenLimit = profile.hardware.ovenMaximum;
    config = std::move(result);
    return true;
}

}  // namespace gc6890::sim
