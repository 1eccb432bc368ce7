// SHA-256 in lower-case hexadecimal: the audit trail's chain, the methods' versions.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

std::string sha256Hex(std::string_view bytes);

// The SHA-256 of the file's bytes, as a method's is named everywhere (its versions, the
// audit trail, run.json, the journal); "" when the file cannot be read.
std::string fileSha256(const std::string& path);

}  // namespace gc6890
