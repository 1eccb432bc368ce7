// The status object's age in process: the time since the last good poll, growing between
// polls, stale once the line is not up, null before any poll.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "service/snapshot.h"

namespace gc6890 {
namespace {

TEST(StatusAge, GrowsFromTheLastGoodPollUntilTheNext)
{
    Snapshot snapshot;
    snapshot.json = {{"polls", 3}};
    snapshot.timeMs = 1'700'000'000'000;
    snapshot.steadyMs = 5000;
    const struct {
        LineState line;
        std::int64_t nowMs;
        nlohmann::json age;
        bool stale;
        bool polled = true;
    } rows[] = {
        {LineState::Up, 5000, 0, false},      {LineState::Up, 5001, 1, false},
        {LineState::Up, 65000, 60000, false}, {LineState::Rebuilding, 7000, 2000, true},
        {LineState::Down, 9000, 4000, true},  {LineState::Up, 9000, nullptr, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.nowMs);
        snapshot.line = row.line;
        snapshot.timeMs = row.polled ? 1'700'000'000'000 : 0;
        const nlohmann::json status = statusObject(snapshot, nullptr, row.nowMs);
        EXPECT_EQ(status["age_ms"], row.age);
        EXPECT_EQ(status["stale"], row.stale);
        EXPECT_EQ(status["line"], lineStateName(row.line));
        EXPECT_EQ(status["polls"], 3);
        EXPECT_TRUE(status["job"].is_null());
    }
}

}  // namespace
}  // namespace gc6890
