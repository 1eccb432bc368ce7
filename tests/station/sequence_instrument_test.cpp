// What the service's and the host program's sequence instruments share, on the instrument
// object against the in-process simulator with a sampler that answers late: the answer is
// awaited over the polls, then settled once, a refusal in the program's own words.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/timers.h"
#include "sampler/varnock_auto_sampler.h"
#include "station/sequence_instrument_base.h"
#include "support/in_process_simulator.h"

namespace gc6890::test {
namespace {

// Injects as the host program does, and words a late refusal its own way.
class TrayInstrument final : public SequenceInstrumentBase {
public:
    explicit TrayInstrument(Instrument& instrument) : SequenceInstrumentBase(instrument) {}

    bool load(const std::string&, std::string&) override { return true; }
    std::string methodSha256(const std::string&) override { return {}; }
    InstrumentView view() override { return {}; }
    bool record(const std::string&, float, std::string&) override { return true; }
    nlohmann::json history(std::int64_t, std::int64_t) override { return {}; }

private:
    bool beginInjection(const std::string& method, int vial, float volume,
                        std::string& error) override
    {
        const bool started = instrument_.inject(method, vial, volume) == Instrument::Part::None;
        error = started ? "" : "refused at once";
        return started;
    }
    std::string refusalText(const std::string& what) override { return "tray: " + what; }
};

class SequenceInstrumentBaseTest : public InProcessSimulatorTest {
protected:
    SequenceInstrumentBaseTest()
    {
        CVarnockAutoSampler::m_sInjectorSelection = 1;
        config.sampler.answer = sim::InjectionAnswer::Late;
        config.sampler.missingVials = {5};  // found missing only when the arm gets there
    }

    // The answer once the sampler gave it, asked before each poll as the runner asks.
    InjectionAnswer settled(std::string& error)
    {
        InstrumentStatus status;
        for (int poll = 0; poll < 60; ++poll) {
            if (const InjectionAnswer answer = tray.injection(error);
                answer != InjectionAnswer::Awaiting)
                return answer;
            clock.advance(1000);
            PumpMessages();  // the sampler's wait for its answer reads the line
            instrument.poll(status);
        }
        return InjectionAnswer::Awaiting;
    }

    TestClock clock{1000};
    Instrument instrument;
    TrayInstrument tray{instrument};
};

TEST_F(SequenceInstrumentBaseTest, ALateAnswerIsAwaitedThenSettledARefusalInTheProgramsWords)
{
    ASSERT_EQ(instrument.open(Instrument::Parts::GCAndSampler), Instrument::Part::None);
    const std::string method = home.path() + "/methods/tray.toml";
    ASSERT_TRUE(writeInjectionMethod(method));
    ASSERT_EQ(instrument.load(method), Instrument::Part::None);
    std::string error;
    for (const int vial : {5, 1}) {
        SCOPED_TRACE("vial " + std::to_string(vial));
        ASSERT_TRUE(tray.startInjection(method, vial, 1.0f, error)) << error;
        EXPECT_EQ(tray.injection(error), InjectionAnswer::Awaiting);
        error.clear();
        EXPECT_EQ(settled(error), vial == 5 ? InjectionAnswer::Refused : InjectionAnswer::Accepted);
        EXPECT_EQ(error, vial == 5 ? "tray: the sampler refused the injection" : "");
    }
}

}  // namespace
}  // namespace gc6890::test
