// Whether an address a door listens on is reachable from this machine only.
#pragma once

#include <string>

namespace gc6890 {

// 127.0.0.0/8, ::1 and "localhost" (without brackets).
bool isLoopback(const std::string& host);

}  // namespace gc6890
