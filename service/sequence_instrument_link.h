// The sequence runner's instrument in the service: the instrument thread's instrument object,
// read through the thread's latest poll and operated on between its polls, through the
// thread's public operations (the ones its jobs use). Used on that thread only.
#pragma once

#include "station/sequence_instrument_base.h"

namespace gc6890 {

class InstrumentThread;
struct ServiceState;

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

}  // namespace gc6890
