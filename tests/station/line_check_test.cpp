// The doctor's line check against the in-process simulator: the diagnosis of each fault,
// and the proof that it changes nothing on the instrument.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comms/hp6890_serial_comms.h"
#include "external/hardware_profile.h"
#include "sim/hardware_profile.h"
#include "station/connected_hardware.h"
#include "station/line_capture.h"
#include "station/line_check.h"
#include "support/in_process_simulator.h"
#include "support/source_tree.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

// Everything the simulator holds that a command could change.
std::string stateOf(sim::Instrument& instrument)
{
    std::ostringstream state;
    sim::GcModel& gc = instrument.gc();
    state << "run " << static_cast<int>(gc.runState()) << " port1 " << gc.portOpen(1) << " contact "
          << gc.contactClosure() << " runtable " << gc.runTable().size();
    for (const std::string& text : gc.display())
        state << " display[" << text << "]";
    for (const char* zone : {"OV", "IF", "BF"})
        state << " zone " << zone << gc.zoneOn(zone);
    for (const auto* part : {&instrument.method().workfile(), &instrument.method().method()})
        for (const sim::MethodCommand& command : *part)
            state << '\n' << command.text();
    sim::SamplerModel& sampler = instrument.sampler();
    state << "\nsampler " << sampler.statusCode() << " vial " << sampler.currentVial()
          << " injections " << sampler.injections() << " setpoints " << sampler.setPoints();
    return state.str();
}

class LineCheckTest : public InProcessSimulatorTest {
protected:
    LineCheckReport check()
    {
        CHP6890SerialComms channel;
        return checkLine(channel);
    }
};

const LineCheck* find(const LineCheckReport& report, const std::string& name)
{
    for (const LineCheck& check : report.checks)
        if (check.name == name)
            return &check;
    return nullptr;
}

// Each fault the instrument or the line can show, and the check that must name it.
TEST_F(LineCheckTest, NamesTheCauseOfEachFault)
{
    struct Case {
        const char* name;
        void (*fault)(sim::SimConfig&);
        const char* failedCheck;
        const char* cause;  // in the failed check's cause
        bool noCommunication;
    };
    const Case cases[] = {
        {"silent line", [](sim::SimConfig& c) { c.faults.noReply = {"*"}; }, "echo CC",
         "nothing answers", true},
        {"wrong baud rate or parity", [](sim::SimConfig& c) { c.faults.garbled = {"*"}; },
         "echo CC", "BaudRate, DataBits or Parity", false},
        {"missing module", [](sim::SimConfig& c) { c.faults.silentEchoAddresses = {"V1"}; },
         "echo V1", "module V1 does not answer", false},
        {"no sampler", [](sim::SimConfig& c) { c.faults.silentEchoAddresses = {"AS"}; }, "echo AS",
         "a GC without a sampler", false},
        {"busy pass-through port",
         [](sim::SimConfig& c) { c.faults.busyPort = sim::BusyPort::Always; }, "pass-through port",
         "busy", false},
        {"not a 6890", [](sim::SimConfig& c) { c.gc.product = "HP 5890 GC"; }, "identity",
         "not an HP 6890 GC", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        config = {};
        c.fault(config);
        received.clear();
        const LineCheckReport report = check();
        EXPECT_FALSE(report.passed());
        EXPECT_EQ(report.noCommunication, c.noCommunication);
        const LineCheck* failed = find(report, c.failedCheck);
        ASSERT_NE(failed, nullptr);
        EXPECT_EQ(failed->result, LineCheck::Result::Failed);
        EXPECT_NE(failed->cause.find(c.cause), std::string::npos) << failed->cause;
        EXPECT_FALSE(failed->remedy.empty());
        // Only the fault fails: the checks after a missing module still run and pass.
        const auto failures =
            std::count_if(report.checks.begin(), report.checks.end(),
                          [](auto& k) { return k.result == LineCheck::Result::Failed; });
        EXPECT_EQ(failures, 1);
        // The check closes the pass-through port it opened, and no other: a busy port is
        // never forced closed.
        const LineCheck* port = find(report, "pass-through port");
        EXPECT_EQ(std::count(received.begin(), received.end(), "CCHTPC 1"),
                  port && port->result == LineCheck::Result::Passed ? 1 : 0);
        EXPECT_EQ(
            std::count_if(received.begin(), received.end(),
                          [](auto& t) { return t.rfind("CCHTPC", 0) == 0 && t != "CCHTPC 1"; }),
            0);
        EXPECT_FALSE(line->isOpen());
    }
    // A GC that reports no sampler is no failure: the sampler is skipped.
    config = {};
    config.sampler.installed = false;
    config.sampler.frontTower = config.sampler.backTower = false;
    const LineCheckReport report = check();
    EXPECT_TRUE(report.passed());
    ASSERT_NE(find(report, "sampler"), nullptr);
    EXPECT_EQ(find(report, "sampler")->result, LineCheck::Result::Skipped);
}

// The instrument is the same after the check as before, and it was sent only echo tests,
// questions and the pass-through port's opening and closing, in that order.
TEST_F(LineCheckTest, ChangesNothingOnTheInstrument)
{
    LineCapture capture;
    const std::string before = stateOf(sim::InProcessLine(config).instrument());
    const LineCheckReport report = check();
    EXPECT_TRUE(report.passed());
    EXPECT_EQ(stateOf(line->instrument()), before);
    EXPECT_FALSE(report.method.empty());

    std::vector<std::string> expected;
    for (const char* address :
         {"CC", "GC", "S1", "S2", "SS", "OV", "DF", "IF", "C1", "A1", "V1", "DT"})
        expected.push_back(std::string(address) + "HTEO \"1234\"");
    for (const char* text :
         {"CCHTID", "ASHTEO \"1234\"", "CCHTPO 1", "01HTSTATUS", "GCHTCF ?", "IFHTCW ?", "IBHTCW ?",
          "ASHTCW ?", "GCHTRI", "GCHTRY", "GCHTST", "CCHTMD ?"})
        expected.push_back(text);
    const std::size_t reads = std::count(received.begin(), received.end(), std::string("CCHTMD +"));
    expected.insert(expected.end(), reads, "CCHTMD +");
    expected.push_back("CCHTPC 1");
    EXPECT_EQ(received, expected);
    // The capture saw every line sent, in order, and an answer to each.
    std::vector<std::string> sent;
    for (const CapturedLine& captured : capture.lines())
        if (captured.sent)
            sent.push_back(captured.line);
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(capture.lines().size(), 2 * expected.size());
}

// Each profile of sim/profiles/ read back from a simulator built from it, written as a
// profile and read again, is the same hardware.
TEST_F(LineCheckTest, CapturedProfileIsTheSimulatorsProfile)
{
    for (const auto& entry : std::filesystem::directory_iterator(sourcePath("sim/profiles"))) {
        SCOPED_TRACE(entry.path().filename().string());
        std::string error;
        HardwareProfile original;
        ASSERT_TRUE(readHardwareProfile(entry.path(), original, error)) << error;
        config = {};
        ASSERT_TRUE(sim::loadHardwareProfile(entry.path(), config, error)) << error;

        HardwareProfile captured;
        {
            CHP6890SerialComms channel;
            ASSERT_TRUE(channel.StartGCComms());
            CString buffer;
            ASSERT_TRUE(
                queryConnectedProfile(channel, captured, channel.CheckChannel(buffer, "AS") != 0));
        }
        const std::string path = home.write("captured.toml", hardwareProfileText(captured, "x"));
        HardwareProfile reread;
        ASSERT_TRUE(readHardwareProfile(path, reread, error)) << error;
        EXPECT_EQ(reread.firmware, original.firmware.value_or(sim::GcSettings{}.firmware));
        EXPECT_EQ(reread.frontTower, config.sampler.frontTower);
        EXPECT_EQ(reread.backTower, config.sampler.backTower);
        // The hardware itself: the configuration report it makes, and the carrier gases.
        const auto hardware = [](const HardwareProfile& p) {
            return describeHardware(p.hardware) + " gas " +
                   std::to_string(p.hardware.inlets[0].gasCode) + "," +
                   std::to_string(p.hardware.inlets[1].gasCode);
        };
        EXPECT_EQ(hardware(reread), hardware(original));
    }
}

// A capture reads back byte for byte, garbled bytes included; a record that is not one (here
// a time that is no whole number, as a hand may leave it) is refused by its line.
TEST(LineCaptureTest, RecordsReadBackExactlyAndABadOneIsNamedByItsLine)
{
    TempHome home;
    const CapturedLine garbled{.ms = 12, .sampler = true, .sent = false, .line = "01\x80\x1b\"\\"};
    const std::string path = home.write("capture.jsonl", captureRecord(garbled) + "\n");
    std::vector<CapturedLine> lines;
    std::string error;
    ASSERT_TRUE(readCapture(path, lines, error)) << error;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(captureRecord(lines[0]), captureRecord(garbled));
    for (const char* time : {"1e90", "1.5", "\"12\""}) {
        home.write("capture.jsonl", captureRecord(garbled) + "\n{\"ms\":" + time +
                                        ",\"side\":\"gc\",\"dir\":\"sent\",\"line\":\"GCHTRI\"}\n");
        EXPECT_FALSE(readCapture(path, lines, error)) << time;
        EXPECT_EQ(error.rfind(path + ":2: not a capture record", 0), 0u) << error;
    }
}

}  // namespace
}  // namespace gc6890::test
