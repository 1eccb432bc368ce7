// The lab's model on any messages a broker may hand it (any client can publish under
// gc6890/): nothing throws, the number of instruments followed stays bounded, and a page
// that takes the model's change events one after the other shows the same instruments, with
// the same records, as the whole lab read at that moment.
//
// An input is messages separated by the byte 0x1E; each is a flags byte, the topic up to
// the first line feed, then the payload. The flags byte's low bits move the clock by that
// many minutes; bit 7 turns the broker connection over before the message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "harness.h"
#include "lab/lab_model.h"

namespace {

using nlohmann::json;

using gc6890::fuzz::check;

// What the page compares: a record without the oven's trace (sent as changes) and the
// status's age (counted on from the record's time by the page).
json comparable(json record)
{
    for (const char* key : {"oven", "oven_after", "age_ms"})
        record.erase(key);
    return record;
}

// The page's instruments by name, kept from the change events as the lab page keeps them.
void follow(std::map<std::string, json>& page, const json& event)
{
    if (event["full"].get<bool>())
        page.clear();
    for (const json& record : event["instruments"])
        page[record["name"].get<std::string>()] = comparable(record);
    std::map<std::string, json> named;
    for (const json& name : event["names"])
        if (page.count(name.get<std::string>()))
            named[name.get<std::string>()] = page[name.get<std::string>()];
    page = std::move(named);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    gc6890::lab::LabOptions options;
    options.maxInstruments = 4;
    gc6890::lab::LabModel model(options);
    std::int64_t nowMs = 1'765'000'000'000;
    bool connected = true;
    model.setBrokerConnected(true, nowMs);
    std::map<std::string, json> page;
    std::uint64_t version = 0;
    follow(page, model.changesSince(0, nowMs, version));

    gc6890::fuzz::forEachMessage(input, [&](const gc6890::fuzz::Message& message) {
        nowMs += (message.flags & 0x3f) * 60'000;
        if (message.flags & 0x80)
            model.setBrokerConnected(connected = !connected, nowMs);
        model.take(message.topic, message.payload, nowMs);
        follow(page, model.changesSince(version, nowMs, version));
    });

    const json lab = model.toJson(nowMs);
    check(lab["instruments"].size() <= options.maxInstruments);
    check(lab["instruments"].size() == page.size());
    for (const json& record : lab["instruments"]) {
        const auto shown = page.find(record["name"].get<std::string>());
        check(shown != page.end() && shown->second == comparable(record));
    }
    check(model.alerts(nowMs) == lab["alerts"]);
    lab.dump(-1, ' ', false, json::error_handler_t::replace);
    return 0;
}
