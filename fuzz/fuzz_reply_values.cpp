// The channel's reply parser against a plain reference: the same reply must give the same
// result and the same slots, bit for bit, as parsing token by token with copies would.
// The first byte chooses the slot count (1 to 32); the rest is the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comms/reply_values.h"

namespace {

// The straightforward reading: copy the values after the blank, add a comma, cut tokens.
int referenceParse(const std::string& reply, CIntFloatArray& values)
{
    const std::size_t blank = reply.find(' ');
    if (blank == std::string::npos || blank < 6)
        return 0;
    std::string rest = reply.substr(blank + 1) + ",";
    for (int i = 0; i < values.GetSize(); ++i) {
        if (rest.size() < 2 || rest[0] == ',')
            return 0;
        const std::size_t comma = rest.find(',');
        const std::string token = rest.substr(0, comma);
        if (token.find('.') != std::string::npos)
            values.SetFloat(i, static_cast<float>(gc6890::parseDouble(token.c_str())));
        else
            values.SetInt(i, std::atoi(token.c_str()));
        rest = rest.substr(comma + 1);
    }
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int slots = 1 + data[0] % 32;
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    CIntFloatArray fast(slots), reference(slots);
    const int fastResult = gc6890::parseReplyValues(reply, fast);
    const int referenceResult = referenceParse(reply, reference);
    if (fastResult != referenceResult)
        std::abort();
    for (int i = 0; i < slots; ++i)
        if (fast.GetInt(i) != reference.GetInt(i))  // the raw bits, floats included
            std::abort();
    return 0;
}
