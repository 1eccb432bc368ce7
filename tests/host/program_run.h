// Runs the built gc6890 program as a user would: its own process, a fresh home folder, the
// simulator program found through $GC6890_SIM_BIN, output and exit code collected.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/temp_home.h"

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

// The program ended with `exitCode` and its standard error holds `says`; a failure shows
// both, and all of standard error.
::testing::AssertionResult exited(const ProgramResult& result, int exitCode,
                                  const std::string& says);

// A text that holds each of `parts`.
::testing::Matcher<const std::string&> holdsAll(std::initializer_list<std::string> parts);

// The lines of the audit trail of the home `home`, oldest first.
std::vector<nlohmann::json> auditLines(const std::string& home);

// A fresh home folder for each case, the program run in it, files written below it.
class HomeTest : public ::testing::Test {
protected:
    // gc6890 --home <the home folder> with these arguments and extra environment.
    ProgramResult run(std::vector<std::string> arguments,
                      const std::vector<std::string>& environment = {})
    {
        arguments.insert(arguments.begin(), {"--home", home.path()});
        return runProgram(arguments, environment);
    }
    // A file below the home folder with this text; its path.
    std::string write(const std::string& name, const std::string& text) const
    {
        return home.write(name, text);
    }

    gc6890::test::TempHome home;
};

}  // namespace gc6890::hosttest
