// The ranges an injection's vial and volume must lie in, wherever one is asked for: the
// host's run, the service's run job and record, and every row of a sequence file.
#pragma once

#include <string>

namespace gc6890 {

inline constexpr int kVialMin = 1;
inline constexpr int kVialMax = 10000;
inline constexpr double kVolumeMin = 0.0;
inline constexpr double kVolumeMax = 1000.0;
inline constexpr float kDefaultVolume = 1.0f;

inline bool volumeInRange(double volume)
{
    return volume >= kVolumeMin && volume <= kVolumeMax;
}
// "volume must be a number from 0 to 1000"
inline std::string volumeRangeText()
{
    return "volume must be a number from " + std::to_string(static_cast<int>(kVolumeMin)) + " to " +
           std::to_string(static_cast<int>(kVolumeMax));
}

}  // namespace gc6890
