// Where "gc6890 record" puts the experiment record, on the line or through a service.
#pragma once

#include <string>

namespace gc6890::cli {

// Prints `text`, or with `out` writes it to that file and prints the file's name. Throws
// CommandFailure (failed) when the file cannot be written. kExitOk.
int putRecord(const std::string& text, const std::string& out);

}  // namespace gc6890::cli
