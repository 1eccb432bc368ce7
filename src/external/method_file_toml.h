// Method files as TOML text: the reader that checks a whole method and the writer.
#pragma once

#include <string>
#include <string_view>

#include "external/method_library.h"

namespace gc6890 {

// "<fileName>:<line>: <key>: <problem>": the form of every error in a TOML file we read.
std::string tomlKeyError(const std::string& fileName, long line, const std::string& key,
                         const std::string& problem);
// "<fileName>:<line>:<column>: not TOML: <problem>": text that TOML cannot read.
std::string tomlSyntaxError(const std::string& fileName, long line, long column,
                            std::string_view problem);

// Reads a method from `text` into `gc` and `als`, which start from their defaults.
// On failure returns false and sets `error` to "<fileName>:<line>: <key>: <problem>"
// (for text that is not TOML: "<fileName>:<line>:<column>: not TOML: <problem>");
// `gc` and `als` may then hold part of the method, so callers load into scratch objects.
bool readMethodToml(std::string_view text, const std::string& fileName, CHP6890Method& gc,
                    CALS6890Method& als, std::string& error);
// The same; `resultCode` is the GC's method result code for the same fault in a method
// block (1 or 2 out of range, 3 a wrong type, 9 too many ramps, 10 a required table or
// ramp value absent), 0 for the faults of a file alone (not TOML, an unknown key).
bool readMethodToml(std::string_view text, const std::string& fileName, CHP6890Method& gc,
                    CALS6890Method& als, std::string& error, int& resultCode);

// The TOML text of a method: the GC tables, then the sampler tables, every key written.
std::string writeMethodToml(const CHP6890Method& gc, const CALS6890Method& als);

// Lists the sampler method's settings as key and value text in its FrellFields.
void listALSFields(CALS6890Method& als);

}  // namespace gc6890
