// Bytes from the kernel's random source, for the tokens and the SiLA UUIDs.
#pragma once

#include <span>
#include <string>

namespace gc6890 {

// Fills `bytes`; throws std::runtime_error "<failure>: <reason>" when the source gives
// fewer (it blocks only until the kernel's pool is first ready, at boot).
void fillRandom(std::span<unsigned char> bytes, const std::string& failure);

// The bytes as lower-case hex digits, two a byte.
std::string hexText(std::span<const unsigned char> bytes);

// A secret of 256 random bits as 64 lower-case hex digits (a token); throws as above.
std::string randomSecret(const std::string& failure);

}  // namespace gc6890
