// The results folder of a run job: the job ends when the sampler takes the injection, its
// run goes on; this follows that run on the instrument thread's polls to its end, writes
// the run's results folder (the sequences' format, through the results writer) and names
// it in the job's record. One place for every door that asks for a run job (HTTP, the
// broker, SiLA, `gc6890 run` through the service). Used on the instrument thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/job_board.h"
#include "service/service_state.h"

namespace gc6890 {

class InstrumentThread;
struct InstrumentView;

class RunJobResults {
public:
    RunJobResults(ServiceState& state, InstrumentThread& thread) : state_(state), thread_(thread) {}

    // A job ended: a run job that ended well has its run followed from now on.
    void jobEnded(const Job& job);
    // After each turn of the thread's loop: a poll after the injection that finds neither
    // the GC in its run or post-run nor the sampler busy ends the run.
    void step(const InstrumentView& view);
    // A stop job was carried out: the run followed, if any, ends as stopped.
    void stopped();

private:
    struct Followed {
        Job job;
        std::int64_t startMs = 0;    // Unix time the injection was taken
        std::string methodSha256{};  // of the stored method as the injection read it
        std::uint64_t pollsAtStart = 0;
        std::string note{};
    };
    void finish(const Followed& run);

    ServiceState& state_;
    InstrumentThread& thread_;
    std::optional<Followed> run_;
};

}  // namespace gc6890
