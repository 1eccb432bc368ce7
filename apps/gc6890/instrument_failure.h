// What a failed operation on the instrument tells the user: what failed, why as far as the
// line saw it, what to do, and the exit code of the table in docs/cli.md.
#pragma once

#include <string>

#include "cli_error.h"

namespace gc6890::cli {

// `what` failed ("status", "run: the GC did not start"). The line's first failure since the
// last good exchange decides: no communication (3: time-out, hang-up, a port that does not
// open), a wrong answer (1); without one the instrument refused (1, with the last message
// box's text). A signal that interrupted the work makes it 128 + the signal.
// An empty `what` stands for the start-up of `side`.
CommandFailure instrumentFailure(const std::string& what, const char* side = "GC");

// A signal interrupted the program: 128 + the signal, "interrupted by SIGINT: " + what.
CommandFailure interruptedFailure(const std::string& what);

}  // namespace gc6890::cli
