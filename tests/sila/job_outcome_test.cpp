// What a job's end and the snapshot mean to a SiLA client, in process: the defined errors a
// failed job maps to, and the status the features read from the snapshot.
#include <gmock/gmock.h>

#include "service/sila/instrument_status.h"
#include "service/sila/job_outcome.h"
#include "service/sila/sila_error.h"
#include "sila_client.h"

namespace gc6890::sila {
namespace {

using ::testing::HasSubstr;

const std::string kErrors =
    "io.gcsixeightninety/chromatography/GasChromatographController/v1/DefinedExecutionError/";

TEST(JobOutcome, AFailedJobEndsWithTheErrorThatNamesWhy)
{
    Snapshot up;
    up.line = LineState::Up;
    Snapshot down = up;
    down.line = LineState::Down;
    down.lineReason = "no communication with the GC on /dev/ttyS0";
    auto job = [](JobKind kind, const std::string& message) {
        Job job;
        job.request.kind = kind;
        job.state = JobState::Failed;
        job.message = message;
        return job;
    };
    struct Case {
        Job job;
        const Snapshot* now;
        fw::SiLAError::ErrorCase kind;
        std::string identifier;
    } cases[] = {
        {job(JobKind::Load, "the GC did not take the method m: result 16"), &up,
         fw::SiLAError::kDefinedExecutionError, kErrors + "MethodRefused"},
        {job(JobKind::Load, "the GC did not take the method m"), &down,
         fw::SiLAError::kDefinedExecutionError, kErrors + "LineLost"},
        {job(JobKind::Zones, "the GC is in a run"), &up, fw::SiLAError::kDefinedExecutionError,
         kErrors + "InstrumentBusy"},
        {job(JobKind::Reset, "the sampler did not reset"), &up,
         fw::SiLAError::kUndefinedExecutionError, ""},
        {job(JobKind::Stop, "the GC did not stop"), &down, fw::SiLAError::kDefinedExecutionError,
         kErrors + "LineLost"},
    };
    for (const Case& c : cases) {
        const grpc::Status status = jobFailure(c.job, *c.now);
        EXPECT_TRUE(test::isSilaError(status, c.kind, c.identifier)) << c.job.message;
        EXPECT_THAT(test::messageOf(status), HasSubstr(c.job.message));
    }
    EXPECT_THAT(test::messageOf(jobFailure(cases[1].job, down)), HasSubstr(down.lineReason));
    JobRequest zones;
    zones.kind = JobKind::Zones;
    const grpc::Status busy = instrumentBusy(zones, "job 3 (load) is running");
    EXPECT_TRUE(
        test::isSilaError(busy, fw::SiLAError::kDefinedExecutionError, kErrors + "InstrumentBusy"));
    EXPECT_EQ(test::messageOf(busy), "zones refused: job 3 (load) is running");
}

TEST(InstrumentStatus, IsReadFromTheSnapshot)
{
    Snapshot snapshot;
    snapshot.line = LineState::Up;
    snapshot.run = RunState::PreRun;
    snapshot.json = nlohmann::json::parse(
        R"({"not_ready":true,"not_ready_text":"oven not ready","error_text":"",)"
        R"("oven_temperature":49.5,"column1_pressure":12.25,"column1_flow":1.5,)"
        R"("column2_pressure":0,"column2_flow":0,)"
        R"("identity":{"firmware":"A.03.02","hardware":"front inlet: split"}})");
    InstrumentStatus status = instrumentStatusOf(snapshot);
    EXPECT_EQ(status.runState, "PreRun");
    EXPECT_EQ(status.lineState, "Up");
    EXPECT_FALSE(status.ready);
    EXPECT_EQ(status.notReadyReason, "oven not ready");
    EXPECT_EQ(status.ovenTemperature, 49.5);
    EXPECT_EQ(status.column1Pressure, 12.25);
    EXPECT_EQ(status.column1Flow, 1.5);
    EXPECT_EQ(status.firmware, "A.03.02");
    EXPECT_EQ(status.hardware, "front inlet: split");

    snapshot.json["not_ready"] = false;
    EXPECT_TRUE(instrumentStatusOf(snapshot).ready);
    // A line that is down makes the last reading no reason to call the GC ready.
    snapshot.line = LineState::Rebuilding;
    EXPECT_FALSE(instrumentStatusOf(snapshot).ready);
    EXPECT_EQ(instrumentStatusOf(snapshot).lineState, "Rebuilding");
    // Before the first poll.
    EXPECT_EQ(instrumentStatusOf(Snapshot{}).lineState, "Down");
    EXPECT_EQ(instrumentStatusOf(Snapshot{}).firmware, "");
}

}  // namespace
}  // namespace gc6890::sila
