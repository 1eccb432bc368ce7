// Every protobuf string the server sends is valid UTF-8 (protobuf refuses anything else,
// and a client would see a broken message): text goes into a message through here.
#pragma once

#include <string_view>

#include "SiLAFramework.pb.h"
#include "service/safe_text.h"

namespace gc6890::sila {

inline void setText(sila2::org::silastandard::String* field, std::string_view text)
{
    field->set_value(validUtf8(text));
}

}  // namespace gc6890::sila
