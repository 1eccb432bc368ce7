// The sequence runner's instrument in the service: the instrument thread's own objects,
// read through its latest poll, operated on between its polls. Used on that thread only.
#pragma once

#include "sequence/sequence_instrument.h"
#include "station/instruments.h"

namespace gc6890 {

class InstrumentThread;

class ThreadInstrument : public SequenceInstrument {
public:
    explicit ThreadInstrument(InstrumentThread& thread) : thread_(thread) {}

    bool load(const std::string& method, std::string& error) override;
    bool startInjection(const std::string& method, int vial, float volume,
                        std::string& error) override;
    InjectionAnswer injection(std::string& error) override;
    void stop() override;
    InstrumentView view() override;
    bool record(const std::string& method, float volume, std::string& text) override;
    nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) override;

private:
    InstrumentThread& thread_;
    bool awaiting_ = false;  // the injection's answer comes late
};

// The injection a sequence waits on, as its runner asks for it: `awaiting` (the answer
// comes late) is cleared once the answer is settled; a refusal's text is the caller's.
InjectionAnswer sequenceInjectionAnswer(CAutoSampler& sampler, bool& awaiting);

// Samples of the status history as GET /api/v1/history gives them.
nlohmann::json historyJson(const std::vector<struct HistorySample>& samples);

}  // namespace gc6890
