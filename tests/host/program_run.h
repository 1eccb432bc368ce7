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
};

// The program under test: $GC6890_CLI_BIN, else the gc6890 of this build.
std::string programPath();

// Runs gc6890 with `arguments` and the extra environment `environment` ("NAME=value"),
// within `limitSeconds` (then it is killed by its process id and exitCode is -1).
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}, int limitSeconds = 120);

}  // namespace gc6890::hosttest
