// The job board in process: one job at a time, and a stop goes ahead of a job queued
// before it.
#include "service/job_board.h"

#include <gtest/gtest.h>

#include "service/event_hub.h"

namespace gc6890 {
namespace {

TEST(JobBoard, AStopGoesAheadOfTheJobQueuedBeforeItAndOneJobRunsAtATime)
{
    EventHub events(16, 1);
    JobBoard board(events);
    auto request = [](JobKind kind) {
        JobRequest made;
        made.kind = kind;
        return made;
    };
    const JobBoard::Submitted load = board.submit(request(JobKind::Load), false);
    ASSERT_NE(load.id, 0u);
    EXPECT_EQ(board.submit(request(JobKind::Zones), false).id, 0u);  // one at a time
    const JobBoard::Submitted stop = board.submit(request(JobKind::Stop), false);
    ASSERT_NE(stop.id, 0u);

    const std::optional<Job> first = board.take();
    const std::optional<Job> second = board.take();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->id, stop.id);
    EXPECT_EQ(second->id, load.id);
    EXPECT_FALSE(board.take());
}

}  // namespace
}  // namespace gc6890
