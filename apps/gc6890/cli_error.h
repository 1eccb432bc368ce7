// How a command ends: the program's exit codes and the one failure that carries one.
#pragma once

#include <stdexcept>
#include <string>

namespace gc6890::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,        // the instrument refused or answered wrongly, or an operation failed
    kExitBadInput = 2,      // usage, a bad method file or a bad setting
    kExitNoComms = 3,       // no communication with the instrument
    kExitSignalBase = 128,  // + the signal that ended the program (130 SIGINT, 143 SIGTERM)
};

// Thrown by a command that cannot go on. main() prints the one-line message (and, for
// failures that involve the instrument, where the comms log is) and exits with `code`.
class CommandFailure : public std::runtime_error {
public:
    CommandFailure(ExitCode code, const std::string& message)
        : std::runtime_error(message), code_(code)
    {}
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

}  // namespace gc6890::cli
