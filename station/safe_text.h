// Text the service did not write (request paths and headers, bodies, broker payloads, the
// instrument's answers, file names) passes through here before it meets JSON, a log line or
// any other output that must stay well formed. One place, so that no door can forget it.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace gc6890 {

// The text as valid UTF-8: every byte that does not belong to a well-formed sequence (a
// stray 0xB0 from the line, half of a character, an overlong form, a surrogate) becomes
// U+FFFD. Well-formed text comes back unchanged.
std::string validUtf8(std::string_view text);

// The text for one line of a log: valid UTF-8, and every control character (line feed and
// carriage return included) written as \xNN, so that nobody can forge a second line.
std::string loggable(std::string_view text);

// JSON as text, compact, on one line. Never throws: a string that is not valid UTF-8 is
// written with U+FFFD in place of its bad bytes.
std::string jsonText(const nlohmann::json& value);

// The text JSON from elsewhere (a file a hand may change, a publisher's message) holds at
// `key`; "" when it holds none there, or something else, or is no object. Never throws.
std::string textField(const nlohmann::json& object, const char* key);

// The whole number JSON from elsewhere holds at `key`; none when it holds none there, or a
// fraction, a number past 64 bits or anything else, or is no object. Converting such a
// value to an integer unchecked would be undefined. Never throws.
std::optional<std::int64_t> wholeField(const nlohmann::json& object, const char* key);

}  // namespace gc6890
