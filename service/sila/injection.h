// What Inject does once accepted, on a thread of its own: follows the load job it was
// started with (none when the GC already holds the method), waits until the GC is ready,
// hands over the run job, follows the run to its end with an intermediate response at each
// change of the run state, then answers with the experiment record, the run's times and the
// results folder the run job wrote. Every failure ends the execution with the feature's
// defined error for it; so does a cancel (Cancelled).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "service/method_store.h"
#include "service/service_state.h"
#include "service/sila/command_executions.h"

namespace gc6890::sila {

// How long the GC may stay not ready after the load before the injection is given up.
inline constexpr std::chrono::minutes kNotReadyBound(10);
// The bound in force: kNotReadyBound, or GC6890_SILA_READY_BOUND_MS where a test shortens
// it (a GC that never becomes ready should not cost a test ten minutes).
std::chrono::milliseconds notReadyBound();

// A cancel of an injection under way (CancelController): from then on no run is asked
// for, and the run asked for before, if any, is the one to stop. Shared by the injection's
// thread and the cancel's.
class InjectionCancel {
public:
    // Marks the injection cancelled; the run job it asked for (0: none, and none will be).
    std::uint64_t cancel();
    bool cancelled() const;
    // Hands the run job over unless the injection is cancelled (then nothing).
    std::optional<JobBoard::Submitted> submitRun(ServiceState& state, const JobRequest& request);

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::uint64_t runJob_ = 0;
};

struct Injection {
    std::string uuid;           // the execution
    std::uint64_t loadJob = 0;  // 0: the GC holds the method already
    std::string method;
    int vial = 0;
    float volume = 1.0f;
    std::string lockIdentifier;  // the Inject call's, for the run job
    AuditOrigin origin;          // the Inject call's, for the run job's audit lines
    std::shared_ptr<InjectionCancel> cancel = std::make_shared<InjectionCancel>();
};

struct InjectionParts {
    ServiceState& state;
    const MethodStore& methods;
    CommandExecutions& executions;
    const std::atomic<bool>& stopping;
};

// Runs the injection to its end; the execution holds the outcome. Never throws.
void runInjection(const InjectionParts& parts, const Injection& injection);

}  // namespace gc6890::sila
