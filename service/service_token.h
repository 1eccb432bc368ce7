// The service's bearer token: made on first start, kept in the home (mode 0600).
#pragma once

#include <string>

namespace gc6890 {

// $GC6890_HOME/service-token
std::string serviceTokenPath();

// The token, made (64 hex digits from the system's random source) when the file does not
// exist yet. Throws std::runtime_error naming the file when it can be neither read nor made.
std::string loadOrMakeServiceToken();

// Compares in time that does not depend on where the texts differ.
bool sameToken(const std::string& given, const std::string& token);

}  // namespace gc6890
