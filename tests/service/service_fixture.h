// What most service tests start from: a fresh home, the simulator program at 60 times real
// speed on `link`, and the service on it, reached over loopback.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/program_run.h"
#include "service_process.h"
#include "support/simulator_program.h"

namespace gc6890::servicetest {

// The home's settings (registry.ini): the instrument polled every 300 ms, so that the tests
// see changes quickly.
inline const std::string quickPolls = "[Inlets\\Hubrel\\System Timings]\nStatus Frequency=300\n";

// The token `gc6890 user add|rotate` printed: the last word of its output.
inline std::string lastWord(const std::string& out)
{
    const std::size_t end = out.find_last_not_of(" \n");
    const std::size_t start = out.find_last_of(" \n", end);
    return end == std::string::npos ? std::string() : out.substr(start + 1, end - start);
}

class ServiceFixture : public hosttest::HomeTest {
protected:
    ServiceFixture() { write("registry.ini", quickPolls); }
    // The simulator on `link` at 60 times speed, with more `options`.
    bool startSim(std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--speed", "60", "--link", link});
        return sim.start(options);
    }
    void upload(const std::string& name, const std::string& text)
    {
        const auto [code, answer] = service.post("/api/v1/methods/" + name, text, "text/plain");
        ASSERT_EQ(code, 201) << answer.dump();
    }
    // gc6890 with `arguments` through the service, with its token unless `token` is false.
    hosttest::ProgramResult viaService(std::vector<std::string> arguments, bool token = true,
                                       hosttest::SignalAt signal = {})
    {
        if (token)
            arguments.insert(arguments.begin(), {"--token-file", home.path() + "/service-token"});
        arguments.insert(arguments.begin(), {"--service", service.url()});
        return hosttest::runProgram(arguments, {}, 60, signal);
    }

    // A new account in the home; its token.
    std::string addAccount(const std::string& name, const std::string& role)
    {
        const hosttest::ProgramResult made = run({"user", "add", name, "--role", role});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return lastWord(made.out);
    }

    std::string link = home.path() + "/gc";
    test::SimulatorProgram sim;
    ServiceProcess service;  // stops before the simulator
};

}  // namespace gc6890::servicetest
