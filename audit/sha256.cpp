#include "audit/sha256.h"

#include <openssl/sha.h>

#include "sequence/durable_file.h"

namespace gc6890 {

std::string sha256Hex(std::string_view bytes)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * SHA256_DIGEST_LENGTH);
    for (const unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xf];
    }
    return hex;
}

std::string fileSha256(const std::string& path)
{
    std::string bytes;
    return readWhole(path, bytes) ? sha256Hex(bytes) : std::string();
}

}  // namespace gc6890
