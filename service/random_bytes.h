// Bytes from the kernel's random source, for the service token and the SiLA UUIDs.
#pragma once

#include <span>
#include <string>

namespace gc6890 {

// Fills `bytes`; throws std::runtime_error "<failure>: <reason>" when the source gives
// fewer (it blocks only until the kernel's pool is first ready, at boot).
void fillRandom(std::span<unsigned char> bytes, const std::string& failure);

}  // namespace gc6890
