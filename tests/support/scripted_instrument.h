// The scripted instrument in a fresh home folder: every port a channel opens is the one
// scripted line, so the channel, GC, sampler and download tests all script it alike.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "support/scripted_line.h"
#include "support/serial_backend_scope.h"
#include "support/temp_home.h"

namespace gc6890::test {

class ScriptedInstrumentTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(line->unmet().empty())
            << "scripted lines never written, first: " << line->unmet().front();
    }

    // The twelve echo tests and the identity of a GC starting.
    void scriptGCStart(const std::string& identity = "HTCCID HP 6890 GC, A.03.08   ")
    {
        for (const char* address :
             {"CC", "GC", "S1", "S2", "SS", "OV", "DF", "IF", "C1", "A1", "V1", "DT"})
            scriptEcho(address);
        line->expect("CCHTID").reply(identity);
    }
    void scriptEcho(const std::string& address)
    {
        line->expect(address + "HTEO \"1234\"").reply("HT" + address + "EO \"1234\"");
    }
    // The sampler side starting while the GC side runs: its echo and pass-through port 1.
    void scriptSamplerStart()
    {
        scriptEcho("AS");
        line->expect("CCHTPO 1").reply("HTCCPO 0");
    }

    TempHome home;
    std::shared_ptr<ScriptedLine> line = std::make_shared<ScriptedLine>();

private:
    SerialBackendScope m_backend{[this](const PortSettings&) { return line; }};
};

// A channel of the test's own, outside the registry.
class ChannelTest : public ScriptedInstrumentTest {
protected:
    void TearDown() override
    {
        channel.reset();
        ScriptedInstrumentTest::TearDown();
    }

    std::unique_ptr<CHP6890SerialComms> channel = std::make_unique<CHP6890SerialComms>();
};

}  // namespace gc6890::test
