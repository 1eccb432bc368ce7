// The sequence runner's instrument on an instrument object: what the service's instrument
// (through its thread) and the host program's (on the line) share. It lives here, below
// both programs, so that neither reaches into the other's room for it.
#pragma once

#include <cstdint>
#include <string>

#include "sequence/sequence_instrument.h"
#include "station/instrument.h"

namespace gc6890 {

// The injection's answer followed on the instrument object (late when the sampler answers
// late), and the stop. Each program starts the injection its own way.
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

// The view the sequence runner decides on, from a good poll's status (the host program's
// runner and the service's see the instrument the same way).
InstrumentView sequenceView(const InstrumentStatus& status, std::uint64_t polls);

}  // namespace gc6890
