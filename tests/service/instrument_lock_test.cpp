// The instrument's lock in process, on a clock the test moves: it lapses once its timeout
// has passed since its holder last used it, and only its own identifier passes or unlocks
// it. Each change is told as an event. (A release: tests/sila/lock_test.cpp.)
#include "service/instrument_lock.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "service/event_hub.h"

namespace gc6890 {
namespace {

using namespace std::chrono_literals;

class InstrumentLockTest : public ::testing::Test {
protected:
    std::chrono::steady_clock::time_point now{};
    EventHub events{16, 1};
    InstrumentLock lock{events, [this] { return now; }};

    // The events told since the last call, as JSON.
    std::vector<nlohmann::json> told()
    {
        std::vector<Event> got;
        subscription->next(got, 0);
        std::vector<nlohmann::json> out;
        for (const Event& event : got)
            if (event.name == "instrument_lock")
                out.push_back(nlohmann::json::parse(event.data));
        return out;
    }
    std::unique_ptr<EventHub::Subscription> subscription = events.subscribe(0);
};

TEST_F(InstrumentLockTest, LapsesItsTimeoutAfterTheLastUseAndOnlyItsIdentifierPasses)
{
    ASSERT_TRUE(lock.lock("key", 10s, "the scheduler"));
    EXPECT_FALSE(lock.lock("other", 10s, "another"));  // whoever asks, the same identifier too
    EXPECT_FALSE(lock.lock("key", 10s, "the scheduler"));
    ASSERT_TRUE(lock.refuses("wrong"));
    EXPECT_EQ(lock.refuses("wrong")->holder, "the scheduler");

    now += 8s;
    ASSERT_TRUE(lock.refuses(""));
    EXPECT_EQ(lock.refuses("")->remaining, 2000ms);
    EXPECT_FALSE(lock.refuses("key"));  // a use: ten seconds from here
    now += 8s;
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(lock.held()->remaining, 2000ms);
    now += 2s;
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(lock.refuses(""));
    EXPECT_EQ(lock.unlock("key"), InstrumentLock::Unlock::NotLocked);

    ASSERT_TRUE(lock.lock("new", 5s, "the next"));
    EXPECT_EQ(lock.unlock("key"), InstrumentLock::Unlock::WrongIdentifier);
    EXPECT_EQ(lock.unlock("new"), InstrumentLock::Unlock::Unlocked);
    EXPECT_FALSE(lock.refuses(""));

    const std::vector<nlohmann::json> events = told();
    ASSERT_EQ(events.size(), 3u) << nlohmann::json(events).dump();
    EXPECT_EQ(events[0].value("holder", ""), "the scheduler");
    EXPECT_TRUE(events[0].value("locked", false));
    EXPECT_TRUE(events[0].contains("locked_until"));
    EXPECT_EQ(events[2].value("ended", ""), "unlocked");
    EXPECT_NE(events[0].dump().find("the scheduler"), std::string::npos);
    for (const nlohmann::json& event : events)
        EXPECT_EQ(event.dump().find("key"), std::string::npos) << "the identifier is secret";
}

}  // namespace
}  // namespace gc6890
