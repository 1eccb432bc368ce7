// Where a key of a method file is: for reports that name the file, line and key of a
// value the file holds (or leaves to its default).
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

// The line of `key` ("gc.oven.ramps[2].final") in the method file text `text`. A key the
// file does not hold (its value is the default) gives the line of the nearest table above
// it that the file holds; 1 when there is none or the text is not TOML.
long MethodKeyLine(std::string_view text, std::string_view key);

}  // namespace gc6890
