#include "lab/lab_model.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "sequence/sequence_clock.h"

namespace gc6890::lab {

using nlohmann::json;

namespace {

constexpr std::string_view kRoot = "gc6890/";

}  // namespace

void LabModel::take(std::string_view topic, std::string_view payload, std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    const std::size_t slash = topic.find('/', kRoot.size());
    if (topic.substr(0, kRoot.size()) != kRoot || slash == std::string_view::npos) {
        ++ignored_;
        return;
    }
    const std::string name(topic.substr(kRoot.size(), slash - kRoot.size()));
    const std::string_view leaf = topic.substr(slash + 1);
    if (leaf != "online" && leaf != "identity" && leaf != "status") {
        ++ignored_;
        return;
    }
    auto found = instruments_.find(name);
    if (leaf == "online" && payload.empty()) {
        if (found != instruments_.end()) {
            instruments_.erase(found);
            changed();
        }
        return;
    }
    const json value = leaf == "online" ? json() : json::parse(payload, nullptr, false);
    const bool usable =
        leaf == "online" ? payload == "true" || payload == "false" : value.is_object();
    if (!usable ||
        (found == instruments_.end() && instruments_.size() >= options_.maxInstruments)) {
        ++ignored_;
        return;
    }
    if (found == instruments_.end()) {
        found = instruments_.emplace(name, LabInstrument{}).first;
        found->second.name = name;
    }
    LabInstrument& instrument = found->second;
    changing(instrument);
    instrument.heardMs = nowMs;
    if (leaf == "online")
        instrument.takeOnline(payload == "true", nowMs);
    else if (leaf == "identity")
        instrument.takeIdentity(value);
    else {
        instrument.takeStatus(value, nowMs);
        if (options_.backfillOven)
            instrument.oven.fillBack();
    }
    change_.notify_all();
}

void LabModel::setBrokerConnected(bool connected, std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    if (connected == brokerConnected_)
        return;
    reconnected_ = connected && brokerSinceMs_ != 0;
    brokerConnected_ = connected;
    brokerSinceMs_ = nowMs;
    changed();
}

void LabModel::expireUnheard(std::int64_t nowMs)
{
    if (!reconnected_ || !brokerConnected_ ||
        nowMs - brokerSinceMs_ < options_.unheardAfterReconnectMs)
        return;
    reconnected_ = false;
    for (auto& [name, instrument] : instruments_)
        if (instrument.online && instrument.heardMs < brokerSinceMs_) {
            changing(instrument);
            instrument.takeOnline(false, brokerSinceMs_ + options_.unheardAfterReconnectMs);
            change_.notify_all();
        }
}

void LabModel::changed()
{
    ++version_;
    change_.notify_all();
}

void LabModel::changing(LabInstrument& instrument)
{
    instrument.version = ++version_;
}

json LabModel::alertsLocked(std::int64_t nowMs) const
{
    struct Alert {
        std::int64_t timeMs;
        const LabInstrument* instrument;
        Condition condition;
    };
    std::vector<Alert> alerts;
    for (const auto& [name, instrument] : instruments_)
        for (int c = 0; c < kConditions; ++c) {
            const auto& since = instrument.since[c];
            if (!since)
                continue;
            std::int64_t time = *since;
            // Not ready is an alert once it has lasted, from the moment it has.
            if (static_cast<Condition>(c) == Condition::NotReady) {
                if (nowMs - time < options_.notReadyAlertMs)
                    continue;
                time += options_.notReadyAlertMs;
            }
            alerts.push_back(Alert{time, &instrument, static_cast<Condition>(c)});
        }
    std::stable_sort(alerts.begin(), alerts.end(),
                     [](const Alert& a, const Alert& b) { return a.timeMs > b.timeMs; });
    json out = json::array();
    for (const Alert& alert : alerts)
        out.push_back({{"time_ms", alert.timeMs},
                       {"time", isoTime(alert.timeMs)},
                       {"instrument", alert.instrument->name},
                       {"kind", conditionName(alert.condition)},
                       {"text", alert.instrument->alertText(alert.condition, nowMs)}});
    return out;
}

json LabModel::alerts(std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    expireUnheard(nowMs);
    return alertsLocked(nowMs);
}

json LabModel::toJson(std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    expireUnheard(nowMs);
    json instruments = json::array();
    for (const auto& [name, instrument] : instruments_)
        instruments.push_back(instrument.toJson(nowMs));
    return {{"instruments", instruments},
            {"alerts", alertsLocked(nowMs)},
            {"broker", brokerLocked()},
            {"time", isoTime(nowMs)}};
}

json LabModel::changesSince(std::uint64_t since, std::int64_t nowMs, std::uint64_t& version)
{
    std::lock_guard lock(mutex_);
    expireUnheard(nowMs);
    json instruments = json::array();
    json names = json::array();
    for (const auto& [name, instrument] : instruments_) {
        names.push_back(name);
        if (instrument.version > since)
            instruments.push_back(instrument.changeJson(nowMs, since));
    }
    version = version_;
    return {{"full", since == 0},       {"instruments", instruments},
            {"names", names},           {"alerts", alertsLocked(nowMs)},
            {"broker", brokerLocked()}, {"time", isoTime(nowMs)}};
}

json LabModel::brokerLocked() const
{
    return {{"connected", brokerConnected_},
            {"since", brokerSinceMs_ ? json(isoTime(brokerSinceMs_)) : json(nullptr)}};
}

std::map<std::string, LabInstrument> LabModel::instruments(std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    expireUnheard(nowMs);
    return instruments_;
}

bool LabModel::brokerConnected() const
{
    std::lock_guard lock(mutex_);
    return brokerConnected_;
}

std::uint64_t LabModel::ignored() const
{
    std::lock_guard lock(mutex_);
    return ignored_;
}

std::uint64_t LabModel::version() const
{
    std::lock_guard lock(mutex_);
    return version_;
}

std::uint64_t LabModel::waitForChange(std::uint64_t seen, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    change_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return version_ != seen; });
    return version_;
}

}  // namespace gc6890::lab
