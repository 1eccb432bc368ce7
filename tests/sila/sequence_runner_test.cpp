// SequenceRunner and PauseController end to end: gc6890 serve --sila on the simulator
// program, which counts the injections it receives (--injection-log), and a grpc++ client
// over TLS running trays as a scheduler does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include "sila_fixture.h"
#include "support/scoped_env.h"
#include "support/sequence_text.h"

namespace gc6890::sila {
namespace {

namespace sr = sila2::io::gcsixeightninety::chromatography::sequencerunner::v1;
namespace pc = sila2::org::silastandard::core::commands::pausecontroller::v1;
using gc6890::test::sequenceText;
using test::callContext;
using test::isSilaError;
using ::testing::HasSubstr;

const std::string kRunnerFeature = "io.gcsixeightninety/chromatography/SequenceRunner/v1";
const std::string kPause = "org.silastandard/core.commands/PauseController/v1";

class SequenceRunnerTest : public test::SilaFixture {
protected:
    // The simulator counting its injections, the service, "short" and "long" stored.
    void serveCounting(std::vector<std::string> simOptions = {})
    {
        simOptions.insert(simOptions.end(), {"--injection-log", injectionLog});
        ASSERT_NO_FATAL_FAILURE(serve(simOptions));
        upload("long", servicetest::method(3.0));
    }
    void connected() override
    {
        runner = sr::SequenceRunner::NewStub(channel);
        pauser = pc::PauseController::NewStub(channel);
    }
    fw::CommandConfirmation run(const std::string& name, const std::string& content)
    {
        fw::CommandConfirmation confirmation;
        last = test::runSequence(channel, callContext(token), name, content, confirmation);
        return confirmation;
    }
    // The intermediate responses from the first until the `count`th with `stepId` (all of
    // them with ""); at most `seconds`.
    std::vector<sr::RunSequence_IntermediateResponses> steps(const fw::CommandConfirmation& c,
                                                             const std::string& stepId = "",
                                                             int count = 1, int seconds = 90)
    {
        auto context = callContext("", seconds);
        auto reader = runner->RunSequence_Intermediate(context.get(), c.commandexecutionuuid());
        std::vector<sr::RunSequence_IntermediateResponses> seen;
        sr::RunSequence_IntermediateResponses step;
        while (reader->Read(&step)) {
            seen.push_back(step);
            if (step.stepid().value() == stepId && --count == 0) {
                context->TryCancel();
                break;
            }
        }
        return seen;
    }
    // Every ExecutionInfo to the end, then the result.
    std::vector<fw::ExecutionInfo> finish(const fw::CommandConfirmation& c,
                                          sr::RunSequence_Responses& responses)
    {
        auto context = callContext("", 120);
        const auto infos =
            test::readAll(*runner->RunSequence_Info(context.get(), c.commandexecutionuuid()));
        last =
            runner->RunSequence_Result(callContext().get(), c.commandexecutionuuid(), &responses);
        return infos;
    }
    grpc::Status control(bool pause, const std::string& uuid, const std::string& lock = "")
    {
        auto context = lock.empty() ? callContext(token) : test::lockedContext(token, lock);
        return test::pauseOrResume(channel, std::move(context), pause, uuid);
    }
    bool paused()
    {
        pc::Get_Paused_Responses responses;
        EXPECT_TRUE(pauser->Get_Paused(callContext().get(), {}, &responses).ok());
        return responses.paused().value();
    }
    std::string injected() const { return gc6890::test::injectedVials(injectionLog); }
    static std::string stepIds(const std::vector<sr::RunSequence_IntermediateResponses>& seen)
    {
        std::string ids;
        for (const auto& step : seen)
            ids += (ids.empty() ? "" : " ") + step.stepid().value();
        return ids;
    }

    std::string injectionLog = home.path() + "/injections";
    std::unique_ptr<sr::SequenceRunner::Stub> runner;
    std::unique_ptr<pc::PauseController::Stub> pauser;
    grpc::Status last;
};

// The service killed (SIGKILL, from inside) right after row 2's injection, then started
// again: the execution's UUID answers as the recovered sequence goes on, with every step from
// its first. (That the instrument saw every vial once: SequenceTest's kills, the same recovery.)
TEST_F(SequenceRunnerTest, AThreeRowTrayRunsToItsResultThroughEveryStepAndAKillOfTheService)
{
    fw::CommandConfirmation tray;
    {
        const gc6890::test::ScopedEnv crash("GC6890_SEQUENCE_CRASH", "injected 2");
        serveCounting();
        // A file that is no sequence: the place and the key (every such refusal: the HTTP door's
        // cases, which share the check).
        run("bad.toml", "name = 3\n");
        EXPECT_TRUE(isSilaError(last, fw::SiLAError::kValidationError,
                                kRunnerFeature + "/Command/RunSequence/Parameter/Content"));
        EXPECT_EQ(test::messageOf(last), "bad.toml:1: name: expected a string, found integer");
        run("../tray.toml", sequenceText("pause", {{1, "short"}}));
        EXPECT_TRUE(isSilaError(last, fw::SiLAError::kValidationError,
                                kRunnerFeature + "/Command/RunSequence/Parameter/Name"));

        auto stateContext = callContext("", 120);
        auto states = runner->Subscribe_SequenceState(stateContext.get(), {});
        sr::Subscribe_SequenceState_Responses state;
        ASSERT_TRUE(states->Read(&state));
        EXPECT_EQ(state.sequencestate().value(), "none");

        tray = run("tray.toml", sequenceText("pause", {{1, "short"}, {2, "short"}, {3, "short"}}));
        ASSERT_TRUE(last.ok()) << test::messageOf(last);
        // The sequence holds the instrument: a second one is refused at its start, saying why.
        run("tray.toml", sequenceText("pause", {{4, "short"}}));
        EXPECT_TRUE(
            isSilaError(last, fw::SiLAError::kFrameworkError,
                        std::to_string(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED)));
        EXPECT_THAT(test::messageOf(last), HasSubstr("sequence refused: the sequence "));
        const int status = service.waitForExit(60000);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    }
    startService();
    auto stateContext = callContext("", 120);
    auto states = runner->Subscribe_SequenceState(stateContext.get(), {});
    sr::Subscribe_SequenceState_Responses state;
    const auto seen = steps(tray);
    sr::RunSequence_Responses result;
    const std::vector<fw::ExecutionInfo> infos = finish(tray, result);
    ASSERT_TRUE(last.ok()) << test::messageOf(last);
    ASSERT_FALSE(infos.empty());
    for (std::size_t i = 1; i < infos.size(); ++i)
        EXPECT_GE(infos[i].progressinfo().value(), infos[i - 1].progressinfo().value());
    EXPECT_EQ(infos.back().commandstatus(), fw::ExecutionInfo::finishedSuccessfully);
    EXPECT_EQ(infos.back().progressinfo().value(), 1.0);

    // The method is loaded for the first row, not for the second (the GC holds it), and again
    // for the third: the restarted service does not know what the GC holds.
    const std::string row = "row_started about_to_inject injected run_ended record_written";
    const std::string loaded = "row_started method_loaded" + row.substr(11);
    EXPECT_EQ(stepIds(seen), "sequence_started " + loaded + " " + row + " " + loaded + " finished");
    std::vector<std::string> folders;
    for (const auto& step : seen)
        if (step.stepid().value() == "record_written") {
            folders.push_back(step.resultsfolder().value());
            EXPECT_EQ(step.vial().value(), step.row().value());
        }
    ASSERT_EQ(result.resultsfolders_size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(result.resultsfolders(i).value(), folders[static_cast<std::size_t>(i)]);
    EXPECT_EQ(result.finalstate().value(), "finished");
    // The sequence is the service's: the HTTP API knows it by the same id.
    EXPECT_EQ(service.get("/api/v1/sequences/" + result.sequenceid().value()).value("state", ""),
              "finished");
    std::string final;
    while (states->Read(&state) && (final = state.sequencestate().value()) != "finished") {
    }
    EXPECT_EQ(final, "finished");
}

TEST_F(SequenceRunnerTest, PauseAndResumeByTheExecutionAndARefusedRowSkipped)
{
    serveCounting({"--missing-vial", "2"});
    const fw::CommandConfirmation tray =
        run("tray.toml", sequenceText("pause", {{1, "long"}, {2, "short"}, {3, "short"}}));
    ASSERT_TRUE(last.ok()) << test::messageOf(last);
    const std::string uuid = tray.commandexecutionuuid().value();
    EXPECT_TRUE(isSilaError(control(true, test::kUnknownExecution),
                            fw::SiLAError::kDefinedExecutionError,
                            kPause + "/DefinedExecutionError/InvalidCommandExecutionUUID"));
    EXPECT_TRUE(isSilaError(control(true, "no uuid"), fw::SiLAError::kValidationError,
                            kPause + "/Command/Pause/Parameter/CommandExecutionUUID"));

    // Another client locks the GC during row 1's run: the pause is taken all the same, the
    // resume only with the lock's identifier.
    steps(tray, "injected");
    ASSERT_TRUE(test::lockServer(channel, token, "key").ok());
    ASSERT_TRUE(control(true, uuid).ok());
    // Pausing: the run under way ends with its record, then nothing more is injected.
    EXPECT_THAT(stepIds(steps(tray, "paused")),
                ::testing::EndsWith("injected run_ended record_written paused"));
    EXPECT_TRUE(paused());
    EXPECT_TRUE(isSilaError(control(true, uuid), fw::SiLAError::kDefinedExecutionError,
                            kPause + "/DefinedExecutionError/InvalidCommandState"));
    // Paused, the execution is still running.
    auto infoContext = callContext();
    fw::ExecutionInfo info;
    ASSERT_TRUE(
        runner->RunSequence_Info(infoContext.get(), tray.commandexecutionuuid())->Read(&info));
    EXPECT_EQ(info.commandstatus(), fw::ExecutionInfo::running);
    EXPECT_TRUE(isSilaError(control(false, uuid), fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::INVALID_METADATA)));
    ASSERT_TRUE(control(false, uuid, "key").ok());
    EXPECT_FALSE(paused());

    // Vial 2 is not in the tray: the row is refused and the sequence pauses by itself; the
    // operator gives up on it and the rest of the tray runs.
    const auto refused = steps(tray, "paused", 2);
    EXPECT_THAT(stepIds(refused), HasSubstr("injection_refused"));
    sr::SkipPausedRow_Parameters skip;
    skip.mutable_commandexecutionuuid()->set_value(uuid);
    sr::SkipPausedRow_Responses skipped;
    ASSERT_TRUE(
        runner->SkipPausedRow(test::lockedContext(token, "key").get(), skip, &skipped).ok());
    EXPECT_TRUE(
        isSilaError(runner->SkipPausedRow(test::lockedContext(token, "key").get(), skip, &skipped),
                    fw::SiLAError::kDefinedExecutionError,
                    kRunnerFeature + "/DefinedExecutionError/SequenceNotPaused"));
    sr::RunSequence_Responses result;
    finish(tray, result);
    ASSERT_TRUE(last.ok()) << test::messageOf(last);
    EXPECT_EQ(result.finalstate().value(), "finished");
    EXPECT_EQ(result.resultsfolders_size(), 2);
    const nlohmann::json sequence = service.get("/api/v1/sequences/" + result.sequenceid().value());
    EXPECT_EQ(sequence["rows"][1].value("state", ""), "skipped") << sequence.dump();

    // An execution of another command cannot be paused.
    fw::CommandConfirmation loading;
    ASSERT_TRUE(
        test::loadMethod(channel, test::lockedContext(token, "key"), "short", loading).ok());
    EXPECT_TRUE(isSilaError(control(true, loading.commandexecutionuuid().value()),
                            fw::SiLAError::kDefinedExecutionError,
                            kPause + "/DefinedExecutionError/OperationNotSupported"));
}

// Cancelled during row 1's run: the sequence is aborted (what an abort stops and records:
// the HTTP door's cases, the same abort) and the execution ends with Cancelled naming the
// record's folder.
TEST_F(SequenceRunnerTest, ACancelledSequenceStopsItsRunAndEndsWithCancelled)
{
    serveCounting();
    uploadHold();
    const fw::CommandConfirmation tray =
        run("tray.toml", sequenceText("pause", {{1, "hold"}, {2, "short"}}));
    ASSERT_TRUE(last.ok()) << test::messageOf(last);
    // The sampler answers before it injects: the run is under way once the vial went in.
    steps(tray, "injected");
    for (int i = 0; i < 300 && injected().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(test::cancelCommand(channel, token, tray.commandexecutionuuid().value()).ok());

    sr::RunSequence_Responses result;
    const std::vector<fw::ExecutionInfo> infos = finish(tray, result);
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.back().commandstatus(), fw::ExecutionInfo::finishedWithError);
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kDefinedExecutionError,
                            kRunnerFeature + "/DefinedExecutionError/Cancelled"));
    const auto seen = steps(tray);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_THAT(stepIds(seen), ::testing::EndsWith("run_ended record_written aborted"));
    const std::string folder = seen[seen.size() - 2].resultsfolder().value();
    EXPECT_THAT(test::messageOf(last),
                ::testing::EndsWith("1 of 2 injections recorded: " + folder));
}

}  // namespace
}  // namespace gc6890::sila
