// A method file summed up for a person deciding whether to load it: the oven program (as
// points of temperature against time, ready to plot), the inlets and columns in use.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace gc6890 {

// Nothing when the text is not a method the library reads.
std::optional<nlohmann::json> methodSummary(const std::string& text, const std::string& fileName);

}  // namespace gc6890
