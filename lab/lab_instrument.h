// One instrument as the lab sees it from the broker: what its retained identity, online
// flag and status (docs/mqtt.md) last said, when each condition that needs a person began,
// and its oven over the last hour. Times are the lab's own clock (Unix ms) at receipt: an
// instrument's clock is never compared with ours.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "lab/oven_trace.h"

namespace gc6890::lab {

// The conditions that need a person, each an alert while it lasts.
enum class Condition { Offline, LineDown, Error, SequencePaused, NotReady };
inline constexpr int kConditions = 5;
const char* conditionName(Condition condition);  // "offline", "line_down", ...

struct LabInstrument {
    std::string name;
    bool online = false;
    nlohmann::json identity;  // null until one came
    nlohmann::json status;    // null until one came
    std::int64_t statusReceivedMs = 0;
    std::int64_t heardMs = 0;  // the last message of any of its topics
    // The lab model's version at its last change (LabModel sets it before each change, so
    // that the oven sample a status adds carries it too).
    std::uint64_t version = 0;
    OvenTrace oven;
    // When each condition began (as first seen here); none while it does not hold.
    std::optional<std::int64_t> since[kConditions];

    void takeOnline(bool online, std::int64_t nowMs);
    void takeIdentity(nlohmann::json identity);
    void takeStatus(nlohmann::json status, std::int64_t nowMs);

    // Whether `condition` holds now, as far as the lab knows: nothing but Offline is known
    // of an instrument that is offline.
    bool holds(Condition condition) const;
    // The alert's text for a condition that holds ("the line is down: no answer").
    std::string alertText(Condition condition, std::int64_t nowMs) const;
    // The age of the instrument's last status: the age of its poll when it was published
    // plus the time since it came (a living service publishes at least every 10 s); null
    // before a status with a poll.
    nlohmann::json ageMs(std::int64_t nowMs) const;
    // The object of GET /api/v1/lab's `instruments`.
    nlohmann::json toJson(std::int64_t nowMs) const;
    // The same for a page that has its record as of the model's `version`: `oven` holds only
    // the samples written since, `oven_after` where they go (OvenTrace::changesSince).
    nlohmann::json changeJson(std::int64_t nowMs, std::uint64_t version) const;

private:
    void follow(std::int64_t nowMs);
    // toJson() without the oven's trace.
    nlohmann::json record(std::int64_t nowMs) const;
};

}  // namespace gc6890::lab
