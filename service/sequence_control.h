// The service's sequences: the one runner the instrument thread drives, started, paused,
// resumed and aborted from the doors (HTTP, SiLA 2) through tasks on that thread, and found
// again in its journal when the service starts. Every change goes to the board and the event
// stream. Used on the instrument thread only, the board aside.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sequence/sequence_runner.h"
#include "service/sequence_instrument_link.h"
#include "service/service_state.h"

namespace gc6890 {

class SequenceControl {
public:
    SequenceControl(ServiceState& state, InstrumentThread& thread);
    ~SequenceControl();

    // Goes on with the newest unfinished journal of a sequence of stored methods, if any.
    void recoverAtStart();

    // A checked sequence file. False with `conflict` (409) when another sequence, a job or
    // a run is under way, or with `error` (500) when its journal cannot be made.
    // `commandExecution`: the SiLA 2 execution that starts it ("" from another door).
    bool start(const std::string& file, const std::string& content, const Sequence& sequence,
               bool inRun, std::string& id, std::string& conflict, std::string& error,
               const std::string& commandExecution = "");
    // False with `error` when `id` is not the sequence under way, or it cannot do that now.
    bool pause(const std::string& id, std::string& error);
    bool resume(const std::string& id, bool skipRow, std::string& error);
    // `reason` is journalled with the abort.
    bool abort(const std::string& id, std::string& error,
               const std::string& reason = "aborted by the operator");

    void step();
    // A stop job was carried out.
    void stopped();

private:
    bool current(const std::string& id, std::string& error) const;
    void publish();

    ServiceState& state_;
    SequenceInstrumentLink instrument_;
    std::unique_ptr<SequenceRunner> runner_;
    // The runner's mark when its state was last published: unchanged, nothing is.
    std::optional<SequenceRunner::Mark> published_;
};

}  // namespace gc6890
