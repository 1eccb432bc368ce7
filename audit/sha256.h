// SHA-256 in lower-case hexadecimal: the audit trail's chain, the methods' versions.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

std::string sha256Hex(std::string_view bytes);

}  // namespace gc6890
