// What the instrument thread and the HTTP threads share. Everything here is safe to use
// from any thread; no member is a library object.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "service/event_hub.h"
#include "service/job_board.h"
#include "service/snapshot.h"
#include "service/status_history.h"

namespace gc6890 {

struct ServiceOptions {
    std::string listen = "127.0.0.1:6890";
    std::string name;    // the instrument's name, shown in the status ("" for none)
    std::string device;  // the serial device, for messages
};

// Counters for /metrics. The poll histogram counts polls by their duration.
struct Metrics {
    static constexpr std::array<double, 10> kBuckets = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                        0.25,  0.5,  1.0,   2.5,  5.0};
    std::atomic<std::uint64_t> polls{0};
    std::atomic<std::uint64_t> failedPolls{0};
    std::atomic<std::uint64_t> rebuilds{0};
    std::atomic<std::uint64_t> unauthorized{0};
    std::array<std::atomic<std::uint64_t>, kBuckets.size() + 1> pollBuckets{};
    std::atomic<std::uint64_t> pollMicros{0};  // sum of the durations
    // The broker (when the service publishes to one).
    std::atomic<std::uint64_t> mqttPublished{0};
    std::atomic<std::uint64_t> mqttLost{0};  // events dropped while the broker was away
    std::atomic<std::uint64_t> mqttConnects{0};
    std::atomic<int> mqttConnected{-1};  // -1: no broker configured

    void observePoll(double seconds);
};

// A piece of work that must run on the instrument thread but changes nothing on the line
// (the experiment record reads the method through the instrument objects).
using InstrumentTask = std::function<void()>;

struct ServiceState {
    explicit ServiceState(ServiceOptions serviceOptions) : options(std::move(serviceOptions)) {}

    ServiceOptions options;
    // 2048 events: more than half an hour of polls at 1 s with the blocks.
    EventHub events{2048, 64};
    // A day of samples at a 1 s poll.
    StatusHistory history{24 * 3600};
    JobBoard jobs{events};
    SnapshotHolder snapshot;
    Metrics metrics;
    std::atomic<int> pollMs{5500};
};

}  // namespace gc6890
