// The simulator in process, in a fresh home: every port a channel opens is a new simulator
// built from `config` (the last one in `line`), on the port "sim" with a 1 s time-out, and
// every line it receives is kept in `received`, every line it answers in `answered`.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "comms/comms_registry.h"
#include "sim/in_process_line.h"
#include "support/instrument_settings.h"
#include "support/serial_backend_scope.h"
#include "support/temp_home.h"

namespace gc6890::test {

class InProcessSimulatorTest : public ::testing::Test {
protected:
    InProcessSimulatorTest()
    {
        usePort("sim", 1000);
        FreeLock();
    }

    // Where the first line the simulator received with `head` stands (npos: none).
    std::size_t first(const std::string& head) const
    {
        const auto found = std::find_if(received.begin(), received.end(),
                                        [&](const auto& t) { return t.rfind(head, 0) == 0; });
        return found == received.end() ? std::string::npos : found - received.begin();
    }

    TempHome home;
    sim::SimConfig config;
    std::shared_ptr<sim::InProcessLine> line;
    std::vector<std::string> received;
    std::vector<std::string> answered;

private:
    SerialBackendScope m_backend{[this](const PortSettings&) {
        line = std::make_shared<sim::InProcessLine>(config);
        line->instrument().trace = [this](char direction, const std::string& text) {
            if (direction == '>')
                received.push_back(text);
            else if (direction == '<')
                answered.push_back(text);
        };
        return line;
    }};
};

}  // namespace gc6890::test
