// Runs the built gc6890 program as a user would: its own process, a fresh home folder, the
// simulator program found through $GC6890_SIM_BIN, output and exit code collected.
#pragma once

#include <string>
#include <vector>

namespace gc6890::hosttest {

struct ProgramResult {
    int exitCode = -1;  // -1 when it did not exit on its own within the time limit
    std::string out;
    std::string err;
    int elapsedMs = 0;     // from the start to the exit
    int signalledMs = -1;  // from the start to the signal, when one was sent
};

// A signal sent to the program `afterMs` after its start, or after `afterText` first appears
// in its output (none when `signal` is 0). Timing from the program's own output keeps
// a loaded machine from sending the signal before the program got where it is meant to be.
struct SignalAt {
    int signal = 0;
    int afterMs = 0;
    const char* afterText = nullptr;
};

// The program under test: $GC6890_CLI_BIN, else the gc6890 of this build.
std::string programPath();

// Runs gc6890 with `arguments` and the extra environment `environment` ("NAME=value"),
// within `limitSeconds` (then it is killed by its process id and exitCode is -1).
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}, int limitSeconds = 120,
                         SignalAt send = {});

}  // namespace gc6890::hosttest
