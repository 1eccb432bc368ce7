// What the instrument thread and the HTTP threads share. Everything here is safe to use
// from any thread; no member is a library object.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "service/accounts.h"
#include "service/audit_log.h"
#include "service/event_hub.h"
#include "service/instrument_lock.h"
#include "service/job_board.h"
#include "service/mqtt_commands.h"
#include "service/sequence_board.h"
#include "service/snapshot.h"
#include "service/status_history.h"

namespace gc6890 {

struct ServiceOptions {
    std::string listen = "127.0.0.1:6890";
    std::string name;    // the instrument's name, shown in the status ("" for none)
    std::string device;  // the serial device, for messages
    // Host names accepted besides the listening address's own and localhost (a reverse
    // proxy's name).
    std::vector<std::string> allowHosts;
    // Reads without a token beyond loopback too (--open-reads); on loopback they always are.
    bool openReads = false;
};

// A Prometheus histogram: counts by upper bound (seconds), and the sum. Observed on one
// thread, read on any; nothing is allocated.
template <std::size_t N>
struct Histogram {
    std::array<double, N> bounds;
    std::array<std::atomic<std::uint64_t>, N + 1> counts{};  // the last: above every bound
    std::atomic<std::uint64_t> sumNanos{0};

    void observe(std::int64_t nanos)
    {
        const double seconds = static_cast<double>(nanos) / 1e9;
        std::size_t bucket = 0;
        while (bucket < N && seconds > bounds[bucket])
            ++bucket;
        counts[bucket].fetch_add(1, std::memory_order_relaxed);
        sumNanos.fetch_add(static_cast<std::uint64_t>(nanos), std::memory_order_relaxed);
    }
};

// Counters for /metrics.
struct Metrics {
    std::atomic<std::uint64_t> polls{0};
    std::atomic<std::uint64_t> failedPolls{0};
    std::atomic<std::uint64_t> rebuilds{0};
    std::atomic<std::uint64_t> unauthorized{0};
    std::atomic<std::uint64_t> cutRequests{0};
    std::atomic<std::uint64_t> wrongHost{0};
    std::atomic<std::uint64_t> failedRequests{0};  // exceptions, answered 500
    std::atomic<std::uint64_t> shedConnections{0};
    Histogram<10> pollSeconds{{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0}};
    // Line exchanges answered: from a fraction of a millisecond on a fast line to the
    // tens of milliseconds of a long reply at 9600 baud, and the port's time-out.
    Histogram<14> exchangeSeconds{
        {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0, 10.0}};
    std::atomic<std::uint64_t> unansweredExchanges{0};
    // The broker (when the service publishes to one).
    std::atomic<std::uint64_t> mqttPublished{0};
    std::atomic<std::uint64_t> mqttLost{0};  // events dropped while the broker was away
    std::atomic<std::uint64_t> mqttConnects{0};
    std::atomic<int> mqttConnected{-1};  // -1: no broker configured
    // Commands from the broker by their outcome (MqttCommands::Outcome).
    std::array<std::atomic<std::uint64_t>, MqttCommands::kOutcomes> mqttCommands{};
    // Exceptions caught at the door: out of a broker callback or the publishing thread, and
    // out of a step of the instrument thread (a job, a task, a poll, a handler).
    std::atomic<std::uint64_t> mqttFailures{0};
    std::atomic<std::uint64_t> instrumentFailures{0};
};

// A piece of work that must run on the instrument thread but changes nothing on the line
// (the experiment record reads the method through the instrument objects).
using InstrumentTask = std::function<void()>;

// Event subscribers at once; one more is turned away (503).
inline constexpr std::size_t kMaxSubscribers = 64;

struct ServiceState {
    explicit ServiceState(ServiceOptions serviceOptions) : options(std::move(serviceOptions)) {}

    ServiceOptions options;
    // 2048 events: more than half an hour of polls at 1 s with the blocks.
    EventHub events{2048, kMaxSubscribers};
    // A day of samples at a 1 s poll.
    StatusHistory history{24 * 3600};
    JobBoard jobs{events};
    InstrumentLock lock{events};
    SnapshotHolder snapshot;
    SequenceBoard sequences;
    Accounts accounts;
    AuditLog audit;  // opened by the service's start, before any door
    Metrics metrics;
    std::atomic<int> pollMs{5500};
};

}  // namespace gc6890
