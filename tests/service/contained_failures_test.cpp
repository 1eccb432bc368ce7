// What escapes a broker callback or a step of the instrument thread is caught, counted and
// logged, whatever was thrown; the same failure over and over is logged once a minute.
#include "service/contained_failures.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/platform.h"
#include "service/event_hub.h"

namespace gc6890 {
namespace {

TEST(ContainedFailures, CatchCountAndLogWhateverIsThrownAndRepeatsOnlyOnceAMinute)
{
    EventHub events(64, 1);
    std::atomic<std::uint64_t> counter{0};
    ContainedFailures contained(events, counter, "service");
    auto subscription = events.subscribe(0);
    const struct {
        std::function<void()> work;
        const char* text;  // the log's text; "" when nothing is logged
    } rows[] = {
        {[] {}, ""},
        {[] { throw std::runtime_error("bad\nline \xB0"); },
         "a poll failed: bad\\x0Aline \xEF\xBF\xBD"},
        {[] { throw std::runtime_error("bad\nline \xB0"); }, ""},  // the same again: counted
        {[] { AfxThrowUserException(); }, "a poll failed: operation given up"},
        {[] { throw 7; }, "a poll failed: an unknown exception"},
    };
    std::uint64_t failures = 0;
    for (const auto& row : rows) {
        std::string why;
        const bool ok = contained.run("a poll", row.work, &why);
        failures += !ok;
        EXPECT_EQ(counter, failures) << row.text;
        std::vector<Event> logged;
        subscription->next(logged, 0);
        ASSERT_EQ(logged.size(), *row.text ? 1u : 0u) << row.text;
        if (*row.text) {
            const nlohmann::json event = nlohmann::json::parse(logged[0].data);
            EXPECT_EQ(event["text"], row.text);
            EXPECT_EQ(event["severity"], 0);
            EXPECT_EQ("a poll failed: " + why, row.text);
        }
    }
    EXPECT_EQ(failures, 4u);
}

}  // namespace
}  // namespace gc6890
