// Every protobuf string the server sends is valid UTF-8 (protobuf refuses anything else,
// and a client would see a broken message): text goes into a message through here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "SiLAFramework.pb.h"
#include "service/safe_text.h"

namespace gc6890::sila {

inline void setText(sila2::org::silastandard::String* field, std::string_view text)
{
    field->set_value(validUtf8(text));
}

// A Get_FCPAffectedByMetadata_* answer: the identifiers of the calls the metadata affects.
template <typename Response>
void setAffectedCalls(Response* response, const std::vector<std::string>& calls)
{
    for (const std::string& call : calls)
        setText(response->add_affectedcalls(), call);
}

}  // namespace gc6890::sila
