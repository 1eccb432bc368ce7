// The instrument object against the in-process simulator: the order of its operations on
// the line, byte for byte as the instrument receives them, and the status it merges.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comms/hp6890_serial_comms.h"
#include "sampler/varnock_auto_sampler.h"
#include "station/instrument.h"
#include "support/in_process_simulator.h"

namespace gc6890::test {
namespace {

class InstrumentTest : public InProcessSimulatorTest {
protected:
    InstrumentTest() { CVarnockAutoSampler::m_sInjectorSelection = 1; }

    std::unique_ptr<Instrument> instrument = std::make_unique<Instrument>();
};

// Construct the GC, start its side; then the sampler's side, then its Initialise. The
// sampler's side stops (its pass-through port closed) while the GC's is still started.
TEST_F(InstrumentTest, OpensTheGCBeforeTheSamplerAndClosesTheSamplerFirst)
{
    ASSERT_EQ(instrument->open(Instrument::Parts::GCAndSampler), Instrument::Part::None);
    // The GC's side wholly started (its display cleared) before the sampler's echo test;
    // the channel's echo tests run once.
    const std::size_t identity = first("GCHTDL");
    EXPECT_EQ(std::count(received.begin(), received.end(), "CCHTEO \"1234\""), 1);
    const std::size_t samplerEcho = first("ASHTEO");
    const std::size_t passThrough = first("CCHTPO 1");
    const std::size_t injectorConfig = first("ASHTCW ?");
    ASSERT_NE(identity, std::string::npos);
    ASSERT_NE(injectorConfig, std::string::npos);
    EXPECT_LT(identity, samplerEcho);
    EXPECT_LT(samplerEcho, passThrough);
    EXPECT_LT(passThrough, injectorConfig);
    EXPECT_FALSE(instrument->firmware().empty());

    int sidesAtSamplerClose = -1;
    line->instrument().trace = [&](char direction, const std::string& text) {
        if (direction == '>' && text == "CCHTPC 1")
            sidesAtSamplerClose = CHP6890SerialComms::m_sCommsStatus;
    };
    instrument->close();
    EXPECT_EQ(sidesAtSamplerClose, 3) << "both sides started when the sampler's closes";
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 0);
    EXPECT_FALSE(line->isOpen());
}

TEST_F(InstrumentTest, AGCOnlyInstrumentNeverTalksToTheSampler)
{
    ASSERT_EQ(instrument->open(Instrument::Parts::GCOnly), Instrument::Part::None);
    EXPECT_FALSE(instrument->hasSampler());
    InstrumentStatus status;
    ASSERT_TRUE(instrument->poll(status));
    instrument->close();
    for (const std::string& text : received) {
        EXPECT_EQ(text.find("AS"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("01HT", 0), std::string::npos) << text;
    }
}

// One status from both parts: the GC polled first, then the sampler; the GC's own run
// state (pre-run here, which the merged record cannot tell) kept beside the merged record.
TEST_F(InstrumentTest, PollMergesTheGCAndTheSamplerWithPreRun)
{
    config.gc.autoPrepRun = true;
    ASSERT_EQ(instrument->open(Instrument::Parts::GCAndSampler), Instrument::Part::None);
    received.clear();
    InstrumentStatus status;
    for (int poll = 0; poll < 20 && status.runState != RunState::PreRun; ++poll) {
        ASSERT_TRUE(instrument->poll(status));
        line->clock().advance(1000);
    }
    EXPECT_EQ(status.runState, RunState::PreRun);
    EXPECT_FALSE(status.samplerInjecting);
    EXPECT_GT(status.ovenTemperature, 0.0f);
    const std::size_t gcRunState = first("GCHTRI");
    const std::size_t samplerStatus = first("01HTSTATUS");
    ASSERT_NE(samplerStatus, std::string::npos);
    EXPECT_LT(gcRunState, samplerStatus);
    EXPECT_EQ(nlohmann::json(status)["run_state"], "pre-run");
}

// The sampler's status read answers 1 after a failed exchange (here an answer with another
// operation's head); the poll still fails. (Another address is the host's fault cases'.)
TEST_F(InstrumentTest, PollFailsWhenTheSamplerAnswersWrongly)
{
    ASSERT_EQ(instrument->open(Instrument::Parts::GCAndSampler), Instrument::Part::None);
    line->instrument().faults().wrongHead = {"01HTSTATUS"};
    InstrumentStatus status;
    EXPECT_FALSE(instrument->poll(status));
}

// The GC's download, then the sampler's set points; a method the GC refuses never reaches
// the sampler.
TEST_F(InstrumentTest, LoadsTheGCPartBeforeTheSamplerPart)
{
    ASSERT_EQ(instrument->open(Instrument::Parts::GCAndSampler), Instrument::Part::None);
    ASSERT_TRUE(writeInjectionMethod(home.path() + "/methods/order.toml"));
    received.clear();
    EXPECT_EQ(instrument->load("no such method"), Instrument::Part::GC);
    EXPECT_EQ(first("01HTSETPTS"), std::string::npos);
    ASSERT_EQ(instrument->load("order"), Instrument::Part::None);
    const std::size_t installed = first("CCHTMI");
    const std::size_t setPoints = first("01HTSETPTS");
    ASSERT_NE(installed, std::string::npos);
    ASSERT_NE(setPoints, std::string::npos);
    EXPECT_LT(installed, setPoints);
}

}  // namespace
}  // namespace gc6890::test
