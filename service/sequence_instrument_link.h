// The sequence runner's instrument in the service: the instrument thread's instrument object,
// read through the thread's latest poll and operated on between its polls, through the
// thread's public operations (the ones its jobs use). Used on that thread only. Beside it
// what it shares with the host program's sequence instrument on the line.
#pragma once

#include "sequence/sequence_instrument.h"
#include "station/instrument.h"

namespace gc6890 {

class InstrumentThread;
struct ServiceState;

// What the service's and the host program's sequence instruments share: the injection's
// answer followed on the instrument object (late when the sampler answers late), and the
// stop. Each starts the injection its own way.
class SequenceInstrumentBase : public SequenceInstrument {
public:
    bool startInjection(const std::string& method, int vial, float volume,
                        std::string& error) final;
    InjectionAnswer injection(std::string& error) final;
    void stop() final { instrument_.stop(); }

protected:
    explicit SequenceInstrumentBase(Instrument& instrument) : instrument_(instrument) {}

    // The sampler's injection and the GC's start; false with `error` when either refused
    // at once.
    virtual bool beginInjection(const std::string& method, int vial, float volume,
                                std::string& error) = 0;
    // The late refusal `what` as the program tells it (with the GC's message box, say).
    virtual std::string refusalText(const std::string& what) { return what; }

    Instrument& instrument_;

private:
    bool awaiting_ = false;  // the injection's answer comes late
};

class SequenceInstrumentLink final : public SequenceInstrumentBase {
public:
    SequenceInstrumentLink(InstrumentThread& thread, ServiceState& state);

    bool load(const std::string& method, std::string& error) override;
    std::string methodSha256(const std::string& method) override;
    InstrumentView view() override;
    bool record(const std::string& method, float volume, std::string& text) override;
    nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) override;

private:
    bool beginInjection(const std::string& method, int vial, float volume,
                        std::string& error) override;
    std::string refusalText(const std::string& what) override;

    InstrumentThread& thread_;
    ServiceState& state_;
};

// The view the sequence runner decides on, from a good poll's status (the host program's
// runner and the service's see the instrument the same way).
InstrumentView sequenceView(const InstrumentStatus& status, std::uint64_t polls);

}  // namespace gc6890
