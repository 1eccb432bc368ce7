// Method names as the user types them, and reading a method file with clear errors.
#pragma once

#include <string>

#include "external/method_library.h"

namespace gc6890::cli {

// The method name to hand to the library. A name that is a file in the working folder
// (with or without ".toml") means that file; any other bare name is left for the library,
// which looks it up in the methods folder (the MethodFolder setting).
std::string methodNameFromUser(const std::string& typed);

// The full file name the library will open for that name.
std::string methodFileName(const std::string& typed);

struct LoadedMethod {
    std::string fileName;
    std::string sha256;  // of the file's bytes, as read when it was checked
    CHP6890Method gc;
    CALS6890Method als;
};

// Reads and checks the whole method; a file that is missing or not a valid method throws
// CommandFailure (bad input) with the reason, naming the file, line and key.
LoadedMethod loadMethodFile(const std::string& typed);

// The commented starting method that "method new" writes.
const char* methodTemplate();

}  // namespace gc6890::cli
