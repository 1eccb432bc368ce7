// The service's bearer token: made on first start, kept in the home (mode 0600).
#pragma once

#include <string>

namespace gc6890 {

// $GC6890_HOME/service-token
std::string serviceTokenPath();

// Tokens shorter than this are refused: one a person typed by hand may be guessable.
inline constexpr std::size_t kMinTokenLength = 32;

// The token, made (64 hex digits from the system's random source) when the file does not
// exist yet, or replaced when it is empty (said on standard error). The file must be a
// regular file (a symbolic link is never followed), owned by the user and readable by no
// one else, holding one line of at least 32 printable characters (a line ending, "\n" or
// "\r\n", is dropped). Throws std::runtime_error naming the file and the fix otherwise, or
// when it can be neither read nor made.
std::string loadOrMakeServiceToken();

// Compares in time that does not depend on where the texts differ.
bool sameToken(const std::string& given, const std::string& token);

}  // namespace gc6890
