// The observable commands' execution registry in process: the life of one execution as
// its Info, Intermediate and Result calls see it, and when it is forgotten.
#include <gtest/gtest.h>

#include <thread>

#include "service/sila/command_executions.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {
namespace {

using namespace std::chrono_literals;

TEST(CommandExecutions, MovesFromWaitingToRunningToFinishedAndNeverBack)
{
    CommandExecutions executions;
    const std::string uuid = executions.start();
    EXPECT_TRUE(isUuid(uuid)) << uuid;
    EXPECT_NE(executions.start(), uuid);

    std::optional<ExecutionState> state = executions.state(uuid);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->status, ExecutionStatus::Waiting);
    EXPECT_NEAR(state->lifetimeSeconds, 3600, 5);

    executions.running(uuid, 0.25, 30.0);
    executions.intermediate(uuid, "first");
    executions.running(uuid, 1.5);  // progress stays within 0 to 1
    state = executions.state(uuid);
    EXPECT_EQ(state->status, ExecutionStatus::Running);
    EXPECT_EQ(state->progress, 1.0);
    EXPECT_EQ(state->intermediates, std::vector<std::string>{"first"});

    executions.succeed(uuid, "responses");
    executions.running(uuid, 0.5);  // too late: the end is the end
    executions.fail(uuid, grpc::Status(grpc::StatusCode::ABORTED, "x"));
    executions.intermediate(uuid, "late");
    state = executions.state(uuid);
    EXPECT_EQ(state->status, ExecutionStatus::FinishedSuccessfully);
    EXPECT_EQ(state->responses, "responses");
    EXPECT_EQ(state->intermediates.size(), 1u);
    EXPECT_TRUE(state->error.ok());

    const std::string failing = executions.start();
    executions.fail(failing, grpc::Status(grpc::StatusCode::ABORTED, "refused"));
    EXPECT_EQ(executions.state(failing)->status, ExecutionStatus::FinishedWithError);
    EXPECT_EQ(executions.state(failing)->error.error_message(), "refused");
}

TEST(CommandExecutions, AWaiterWakesOnTheNextChangeOrAtItsTimeOut)
{
    CommandExecutions executions;
    const std::string uuid = executions.start();
    const std::uint64_t seen = executions.state(uuid)->version;

    const auto before = std::chrono::steady_clock::now();
    std::optional<ExecutionState> state = executions.await(uuid, seen, 50ms);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 50ms);
    EXPECT_EQ(state->version, seen);  // nothing new: the state as it stands

    std::thread command([&] {
        std::this_thread::sleep_for(20ms);
        executions.running(uuid, 0.5);
    });
    state = executions.await(uuid, seen, 10s);
    command.join();
    EXPECT_EQ(state->status, ExecutionStatus::Running);
    EXPECT_GT(state->version, seen);

    EXPECT_FALSE(executions.await("00000000-0000-4000-8000-000000000000", 0, 10ms));
}

TEST(CommandExecutions, AFinishedExecutionIsForgottenALifetimeAfterItsEnd)
{
    CommandExecutions executions(std::chrono::seconds(60));
    const std::string done = executions.start();
    const std::string longRunning = executions.start();
    executions.running(longRunning, 0.1);
    executions.advance(50s);
    executions.succeed(done, "r");  // its end moves the lifetime on
    EXPECT_NEAR(executions.state(done)->lifetimeSeconds, 60, 1);

    executions.advance(59s);
    EXPECT_TRUE(executions.state(done));
    executions.advance(2s);
    EXPECT_FALSE(executions.state(done));
    // One still running is never forgotten, however long it takes.
    EXPECT_TRUE(executions.state(longRunning));
}

TEST(CommandExecutions, ARegistryFullOfRunningExecutionsTakesNoMore)
{
    CommandExecutions executions(std::chrono::seconds(60), 2);
    const std::string first = executions.start();
    const std::string second = executions.start();
    EXPECT_EQ(executions.start(), "");
    executions.succeed(first, "r");
    const std::string third = executions.start();  // the finished one makes room
    EXPECT_NE(third, "");
    EXPECT_FALSE(executions.state(first));
    EXPECT_TRUE(executions.state(second));
}

TEST(CommandExecutions, ClosingWakesEveryWaiter)
{
    CommandExecutions executions;
    const std::string uuid = executions.start();
    std::thread closer([&] {
        std::this_thread::sleep_for(20ms);
        executions.close();
    });
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(executions.await(uuid, executions.state(uuid)->version, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    closer.join();
}

}  // namespace
}  // namespace gc6890::sila
