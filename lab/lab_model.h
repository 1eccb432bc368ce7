// The lab as the broker tells of it: every instrument under gc6890/NAME/, fed with the
// messages of its topics (retained or live, in any order), and the alerts that need a
// person, newest first. Fed by the broker's thread, read by any: every call takes the
// model's lock, and none waits on anything else while holding it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "lab/lab_instrument.h"

namespace gc6890::lab {

struct LabOptions {
    // A GC not ready for this long is an alert (a method's heating takes minutes).
    std::int64_t notReadyAlertMs = 10 * 60 * 1000;
    // At most this many instruments are followed: the topic level comes from the broker,
    // and a client that publishes names without end must not make the model grow with them.
    std::size_t maxInstruments = 1000;
    // After the broker comes back, an instrument not heard from for this long is offline:
    // a broker restarted without its retained topics has forgotten one that died meanwhile
    // (its last will went with the broker), and the living ones publish again at once.
    std::int64_t unheardAfterReconnectMs = 30 * 1000;
    // Each instrument's oven trace starts an hour long, its first reading repeated back
    // (OvenTrace::fillBack): for benchmarks, set by GC6890_LAB_OVEN_BACKFILL=1.
    bool backfillOven = false;
};

class LabModel {
public:
    explicit LabModel(LabOptions options = {}) : options_(options) {}

    // A message on `topic`. Topics other than gc6890/NAME/{online,identity,status} and
    // payloads that are not what docs/mqtt.md says are ignored (counted). An empty retained
    // `online` (its topics cleared on the broker) forgets the instrument.
    void take(std::string_view topic, std::string_view payload, std::int64_t nowMs);
    // The connection to the broker: while it is lost, what is shown is as it was when it
    // went, and says so.
    void setBrokerConnected(bool connected, std::int64_t nowMs);

    // The lab at `nowMs` (instruments unheard since the broker came back turn offline then):
    // GET /api/v1/lab: `instruments` (by name), `alerts` (newest first), `broker`.
    nlohmann::json toJson(std::int64_t nowMs);
    // A `lab` event for a page that has the lab as of version `since` (0: nothing yet):
    // GET /api/v1/lab's object with only the instruments that changed since then, each as
    // LabInstrument::changeJson() gives it, and `names`, every instrument's (the page drops
    // those not named); `full` when `since` is 0 (the page starts afresh). `version` is set
    // to the version the event shows, the next event's `since`.
    nlohmann::json changesSince(std::uint64_t since, std::int64_t nowMs, std::uint64_t& version);
    // Each alert: `time_ms`, `time` (ISO), `instrument`, `kind`, `text`; newest first.
    nlohmann::json alerts(std::int64_t nowMs);
    // The instruments' records, copied under the lock (for /metrics and the terminal).
    std::map<std::string, LabInstrument> instruments(std::int64_t nowMs);
    bool brokerConnected() const;
    std::uint64_t ignored() const;

    // A count that grows with each change; waitForChange() returns once it passes `seen`
    // or after `timeoutMs`, with the count then.
    std::uint64_t version() const;
    std::uint64_t waitForChange(std::uint64_t seen, int timeoutMs) const;

private:
    void changed();
    // Before `instrument` changes: it takes the model's next version.
    void changing(LabInstrument& instrument);
    // With the lock held: those not heard since the broker came back, offline when it is time.
    void expireUnheard(std::int64_t nowMs);
    nlohmann::json alertsLocked(std::int64_t nowMs) const;
    nlohmann::json brokerLocked() const;

    LabOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable change_;
    std::map<std::string, LabInstrument> instruments_;
    bool brokerConnected_ = false;
    std::int64_t brokerSinceMs_ = 0;
    bool reconnected_ = false;  // connected again after a loss: some may be unheard
    std::uint64_t version_ = 0;
    std::uint64_t ignored_ = 0;
};

}  // namespace gc6890::lab
