// What the dashboard's charts draw: the readings' ring and the window read from it, and a
// method's oven program as points of temperature against time.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "service/method_summary.h"
#include "service/status_history.h"

namespace gc6890 {
namespace {

TEST(StatusHistory, KeepsTheNewestSamplesAndReadsAWindowWithBothEnds)
{
    StatusHistory history(3);
    for (std::int64_t timeMs : {100, 200, 300, 400, 500})
        history.add({.timeMs = timeMs});
    const auto times = [&](std::int64_t fromMs, std::int64_t toMs) {
        std::vector<std::int64_t> found;
        for (const HistorySample& sample : history.since(fromMs, toMs))
            found.push_back(sample.timeMs);
        return found;
    };
    EXPECT_EQ(times(0, INT64_MAX), (std::vector<std::int64_t>{300, 400, 500}));
    EXPECT_EQ(times(300, 500), (std::vector<std::int64_t>{300, 400, 500}));
    EXPECT_EQ(times(301, 499), std::vector<std::int64_t>{400});
    EXPECT_TRUE(times(501, 600).empty());
}

// Each ramp climbs (or cools) at its rate, then holds; a ramp with no rate ends the program.
TEST(MethodSummary, TheOvenProgramIsItsCornersInMinutesAndDegrees)
{
    const std::string method = R"([gc]
[gc.oven]
initial_temperature = 40.0
initial_time = 1.0
ramps = [ { rate = 10.0, final = 250.0, time = 5.0 }, { rate = 20.0, final = 150.0 } ]
[gc.column1]
inlet = "front"
[gc.front_inlet]
type = 1
[sampler]
first_vial = 1
front_injector = true
)";
    const std::optional<nlohmann::json> summary = methodSummary(method, "ramps.toml");
    ASSERT_TRUE(summary);
    EXPECT_EQ((*summary)["oven"]["points"],
              nlohmann::json::parse("[[0,40],[1,40],[22,250],[27,250],[32,150]]"))
        << summary->dump();
}

}  // namespace
}  // namespace gc6890
