// The sequence runner's instrument on the line: the instrument object of the host program's
// session, polled when the program's loop says so, the history of those polls kept for the
// run records.
#pragma once

#include <string>
#include <vector>

#include "service/status_history.h"
#include "station/instrument.h"
#include "station/sequence_instrument_base.h"

namespace gc6890::cli {

class LineInstrument final : public SequenceInstrumentBase {
public:
    // Rows name method files relative to `sequenceFile`.
    LineInstrument(Instrument& instrument, std::string sequenceFile);

    // One poll of the GC and the sampler: what view() and history() then give (the GC's
    // pre-run counts as in a run, as the service's view has it).
    void poll();

    bool load(const std::string& method, std::string& error) override;
    std::string methodSha256(const std::string& method) override;
    InstrumentView view() override { return view_; }
    bool record(const std::string& method, float volume, std::string& text) override;
    nlohmann::json history(std::int64_t fromMs, std::int64_t toMs) override;

private:
    bool beginInjection(const std::string& method, int vial, float volume,
                        std::string& error) override;

    // The method file a row names; "" with `error` when it is missing or not a method.
    std::string methodFile(const std::string& method, std::string& error) const;
    std::string withBox(const std::string& what, const std::string& boxBefore) const;

    std::string sequenceFile_;
    InstrumentView view_;
    std::vector<HistorySample> samples_;  // a day at a 1 s poll at most
};

}  // namespace gc6890::cli
