// The sequence runner's instrument in the service: the instrument thread's instrument object,
// read through the thread's latest poll and operated on between its polls, through the
// thread's public operations (the ones its jobs use). Used on that thread only.
#pragma once

#include "sequence/sequence_instrument.h"
#include "station/instrument.h"

namespace gc6890 {

class InstrumentThread;
struct ServiceState;

class SequenceInstrumentLink : public SequenceInstrument {
public:
    SequenceInstrumentLink(InstrumentThread& thread, ServiceState& state)
        : thread_(thread), state_(state)
    {}

    bool load(const std::string& method, std::string& error) override;
    std::string methodSha256(const std::string& method) override;
    bool startInjection(const std::string& method, int vial, float volume,
                        std::string& error) override;
    InjectionAnswer injection(std::string& error) override;
    void stop() override;
    InstrumentView view() override;
    bool record(const std::string& method, float volume, std::string& text) override;
    nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) override;

private:
    InstrumentThread& thread_;
    ServiceState& state_;
    bool awaiting_ = false;  // the injection's answer comes late
};

// The view the sequence runner decides on, from a good poll's status (the host program's
// runner and the service's see the instrument the same way).
InstrumentView sequenceView(const InstrumentStatus& status, std::uint64_t polls);

// The injection a sequence waits on, as its runner asks for it: `awaiting` (the answer
// comes late) is cleared once the answer is settled; a refusal's text is the caller's.
InjectionAnswer sequenceInjectionAnswer(Instrument& instrument, bool& awaiting);

}  // namespace gc6890
