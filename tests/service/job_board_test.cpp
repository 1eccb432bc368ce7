// The job board in process: one job at a time, a stop goes ahead of a job queued before it,
// and the GC's run as the jobs see it (the same over HTTP: service_test.cpp).
#include "service/job_board.h"

#include <gtest/gtest.h>

#include "service/event_hub.h"

namespace gc6890 {
namespace {

JobRequest request(JobKind kind)
{
    JobRequest made;
    made.kind = kind;
    return made;
}

TEST(JobBoard, AStopGoesAheadOfTheJobQueuedBeforeItAndOneJobRunsAtATime)
{
    EventHub events(16, 1);
    JobBoard board(events);
    const JobBoard::Submitted load = board.submit(request(JobKind::Load));
    ASSERT_NE(load.id, 0u);
    EXPECT_EQ(board.submit(request(JobKind::Zones)).id, 0u);  // one at a time
    const JobBoard::Submitted stop = board.submit(request(JobKind::Stop));
    ASSERT_NE(stop.id, 0u);

    const std::optional<Job> first = board.take();
    const std::optional<Job> second = board.take();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->id, stop.id);
    EXPECT_EQ(second->id, load.id);
    EXPECT_FALSE(board.take());
}

// A run job that has just been accepted blocks the next one before any poll says so; stop is
// always taken and a reset may free a stuck sampler during a run.
TEST(JobBoard, KnowsARunFromTheMomentTheInjectionIsAcceptedUntilAPollSaysOtherwise)
{
    EventHub events(64, 1);
    JobBoard board(events);
    const auto run = [&] { return board.submit(request(JobKind::Run)); };
    const JobBoard::Submitted first = run();
    ASSERT_NE(first.id, 0u);
    ASSERT_TRUE(board.take());
    board.runStarted();
    board.update(first.id, JobState::Done, "injection accepted");
    const JobBoard::Submitted second = run();
    EXPECT_EQ(second.id, 0u);
    EXPECT_EQ(second.conflict, "the GC is in a run");
    for (const JobKind kind : {JobKind::Stop, JobKind::Reset}) {
        const JobBoard::Submitted taken = board.submit(request(kind));
        EXPECT_NE(taken.id, 0u) << jobKindName(kind);
        board.take();
        board.update(taken.id, JobState::Done, "");
    }
    board.setInRun(false);
    EXPECT_NE(run().id, 0u);
}

}  // namespace
}  // namespace gc6890
