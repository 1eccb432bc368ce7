// GasChromatographController end to end: gc6890 serve --sila on the simulator program,
// a grpc++ client over TLS following properties and commands as a scheduler does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "GasChromatographController.grpc.pb.h"
#include "service/service_state.h"
#include "sila_fixture.h"
#include "support/scoped_env.h"
#include "support/sequence_text.h"

namespace gc6890::sila {
namespace {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;
namespace cc = sila2::org::silastandard::core::commands::cancelcontroller::v1;
using test::callContext;
using test::cancelCommand;
using test::isSilaError;
using ::testing::HasSubstr;

const std::string kGcFeature = "io.gcsixeightninety/chromatography/GasChromatographController/v1";
const std::string kGcErrors = kGcFeature + "/DefinedExecutionError/";
const std::string kCancel = "org.silastandard/core.commands/CancelController/v1";

class GcController : public test::SilaFixture {
protected:
    void connected() override { stub = gcc::GasChromatographController::NewStub(channel); }
    fw::CommandConfirmation load(const std::string& method, const std::string& token)
    {
        fw::CommandConfirmation confirmation;
        last = test::loadMethod(channel, callContext(token), method, confirmation);
        return confirmation;
    }
    // Every ExecutionInfo of the execution until its stream ends.
    std::vector<fw::ExecutionInfo> follow(const fw::CommandConfirmation& confirmation)
    {
        auto context = callContext("", 60);
        return test::readAll(
            *stub->LoadMethod_Info(context.get(), confirmation.commandexecutionuuid()), &last);
    }
    grpc::Status result(const fw::CommandExecutionUUID& uuid)
    {
        gcc::LoadMethod_Responses responses;
        return stub->LoadMethod_Result(callContext().get(), uuid, &responses);
    }
    fw::CommandConfirmation inject(std::optional<std::string> method, std::optional<long> vial,
                                   std::optional<double> volume, const std::string& token)
    {
        gcc::Inject_Parameters parameters;
        if (method)
            parameters.mutable_methodname()->set_value(*method);
        if (vial)
            parameters.mutable_vial()->set_value(*vial);
        if (volume)
            parameters.mutable_volume()->set_value(*volume);
        fw::CommandConfirmation confirmation;
        last = stub->Inject(callContext(token).get(), parameters, &confirmation);
        return confirmation;
    }
    // The injection's last ExecutionInfo, at most `seconds` away; its result in `responses`.
    fw::ExecutionInfo::CommandStatus injected(const fw::CommandConfirmation& confirmation,
                                              gcc::Inject_Responses& responses, int seconds = 60)
    {
        auto context = callContext("", seconds);
        auto info = stub->Inject_Info(context.get(), confirmation.commandexecutionuuid());
        fw::ExecutionInfo state;
        while (info->Read(&state)) {
        }
        last = stub->Inject_Result(callContext().get(), confirmation.commandexecutionuuid(),
                                   &responses);
        return state.commandstatus();
    }
    // An injection of "hold", once the GC is in its run.
    fw::CommandConfirmation injectIntoALongRun(long vial, const std::string& token)
    {
        uploadHold();
        const fw::CommandConfirmation confirmation = inject("hold", vial, 1.0, token);
        EXPECT_TRUE(last.ok()) << last.error_message();
        auto context = callContext("", 30);
        auto intermediates =
            stub->Inject_Intermediate(context.get(), confirmation.commandexecutionuuid());
        gcc::Inject_IntermediateResponses change;
        while (intermediates->Read(&change) && change.runstate().value() != "Run") {
        }
        EXPECT_EQ(change.runstate().value(), "Run");
        context->TryCancel();
        return confirmation;
    }
    std::string jobKind(int id)
    {
        return service.get("/api/v1/jobs/" + std::to_string(id)).value("kind", "");
    }

    std::unique_ptr<gcc::GasChromatographController::Stub> stub;
    grpc::Status last;
};

TEST_F(GcController, PropertiesFollowTheSnapshotAndAFullHouseOfSubscribersKeepsNoCallOut)
{
    serve({"--firmware", "A.03.02 \xb0"});
    auto lineContext = callContext("", 60);
    auto line = stub->Subscribe_LineState(lineContext.get(), {});
    gcc::Subscribe_LineState_Responses lineState;
    ASSERT_TRUE(line->Read(&lineState));
    EXPECT_EQ(lineState.linestate().value(), "Up");

    auto ovenContext = callContext("", 60);
    auto oven = stub->Subscribe_OvenTemperature(ovenContext.get(), {});
    gcc::Subscribe_OvenTemperature_Responses temperature;
    ASSERT_TRUE(oven->Read(&temperature));
    const double http = service.get("/api/v1/status").value("oven_temperature", -1000.0);
    EXPECT_NEAR(temperature.oventemperature().value(), http, 20.0);

    // Each open subscription holds one of the server's threads: with as many as the service
    // takes (these two and the run state's), a further one is refused with the reason, and a
    // stop is still answered.
    struct Subscription {
        std::unique_ptr<grpc::ClientContext> context = callContext("", 60);
        std::unique_ptr<grpc::ClientReader<gcc::Subscribe_RunState_Responses>> reader;
    };
    std::vector<Subscription> open(kMaxSubscribers - 2);
    gcc::Subscribe_RunState_Responses state;
    for (Subscription& subscription : open)
        subscription.reader = stub->Subscribe_RunState(subscription.context.get(), {});
    for (std::size_t i = 0; i < open.size(); ++i)
        ASSERT_TRUE(open[i].reader->Read(&state)) << "subscription " << i + 1;
    EXPECT_EQ(state.runstate().value(), "Idle");
    auto onceMore = callContext();
    auto refused = stub->Subscribe_RunState(onceMore.get(), {});
    EXPECT_FALSE(refused->Read(&state));
    const grpc::Status full = refused->Finish();
    EXPECT_TRUE(isSilaError(full, fw::SiLAError::kUndefinedExecutionError));
    EXPECT_THAT(test::messageOf(full), HasSubstr("subscribers already"));
    gcc::StopRun_Responses stopped;
    EXPECT_TRUE(stub->StopRun(callContext(token).get(), {}, &stopped).ok());
    for (Subscription& subscription : open)
        subscription.context->TryCancel();

    // Text arrives as UTF-8.

    gcc::Get_FirmwareVersion_Responses firmware;
    ASSERT_TRUE(stub->Get_FirmwareVersion(callContext().get(), {}, &firmware).ok());
    EXPECT_THAT(firmware.firmwareversion().value(), HasSubstr("A.03.02 \xef\xbf\xbd"));
    gcc::Get_InstalledHardware_Responses hardware;
    ASSERT_TRUE(stub->Get_InstalledHardware(callContext().get(), {}, &hardware).ok());
    EXPECT_FALSE(hardware.installedhardware().value().empty());

    // The service stops: its subscriptions end with it, and it stops cleanly.
    ASSERT_EQ(service.stop(), 0);
    while (line->Read(&lineState)) {
    }
    const grpc::Status ended = line->Finish();
    EXPECT_TRUE(ended.ok() || ended.error_code() == grpc::StatusCode::CANCELLED)
        << ended.error_code() << " " << ended.error_message();
}

// A load runs to its end: meanwhile it holds the instrument, cancelling it is refused and
// cancelling all leaves it alone.
TEST_F(GcController, ALoadRunsFromWaitingToFinishedAndTheInstrumentIsHeldMeanwhile)
{
    // A slow line, so that the load is still under way while the others ask.
    serve({"--baud", "19200"});
    const fw::CommandConfirmation confirmation = load("short", token);
    ASSERT_TRUE(last.ok()) << last.error_message();
    EXPECT_EQ(confirmation.lifetimeofexecution().seconds(), 3600);
    const fw::CommandExecutionUUID& uuid = confirmation.commandexecutionuuid();

    EXPECT_TRUE(isSilaError(result(uuid), fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::COMMAND_EXECUTION_NOT_FINISHED)));
    load("short", token);
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::COMMAND_EXECUTION_NOT_ACCEPTED)));
    EXPECT_THAT(test::messageOf(last), HasSubstr("load refused: job"));
    gcc::SwitchHeatedZones_Parameters zones;
    zones.mutable_on()->set_value(false);
    gcc::SwitchHeatedZones_Responses switched;
    EXPECT_TRUE(isSilaError(stub->SwitchHeatedZones(callContext(token).get(), zones, &switched),
                            fw::SiLAError::kDefinedExecutionError, kGcErrors + "InstrumentBusy"));
    // The HTTP door is held by the same job.
    EXPECT_EQ(service.post("/api/v1/zones", R"({"on":false})").first, 409);
    EXPECT_TRUE(isSilaError(cancelCommand(channel, token, uuid.value()),
                            fw::SiLAError::kDefinedExecutionError,
                            kCancel + "/DefinedExecutionError/OperationNotSupported"));
    cc::CancelAll_Responses all;
    EXPECT_TRUE(
        cc::CancelController::NewStub(channel)->CancelAll(callContext(token).get(), {}, &all).ok());

    const std::vector<fw::ExecutionInfo> infos = follow(confirmation);
    ASSERT_TRUE(last.ok()) << last.error_message();
    ASSERT_GE(infos.size(), 2u);
    for (std::size_t i = 1; i < infos.size(); ++i) {
        EXPECT_GE(infos[i].commandstatus(), infos[i - 1].commandstatus());
        EXPECT_GE(infos[i].progressinfo().value(), infos[i - 1].progressinfo().value());
    }
    EXPECT_EQ(infos.back().commandstatus(), fw::ExecutionInfo::finishedSuccessfully);
    EXPECT_EQ(infos.back().progressinfo().value(), 1.0);
    EXPECT_GT(infos.back().updatedlifetimeofexecution().seconds(), 3500);
    EXPECT_TRUE(result(uuid).ok());
    EXPECT_TRUE(result(uuid).ok());  // as often as asked
    // A stream that begins after the end gets the end at once.
    EXPECT_EQ(follow(confirmation).size(), 1u);

    fw::CommandExecutionUUID unknown;
    unknown.set_value(test::kUnknownExecution);
    const std::string invalid = std::to_string(fw::FrameworkError::INVALID_COMMAND_EXECUTION_UUID);
    EXPECT_TRUE(isSilaError(result(unknown), fw::SiLAError::kFrameworkError, invalid));
    fw::CommandConfirmation stranger;
    *stranger.mutable_commandexecutionuuid() = unknown;
    follow(stranger);
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kFrameworkError, invalid));
}

// An injection loads first, so it ends with the load's errors as LoadMethod does.
TEST_F(GcController, ALoadOrAnInjectionEndsWithTheErrorThatSaysWhy)
{
    serve({"--check-code", "16"});
    struct Case {
        std::string method;
        std::string error;
    } cases[] = {{"absent", kGcErrors + "UnknownMethod"}, {"short", kGcErrors + "MethodRefused"}};
    for (const Case& c : cases) {
        const fw::CommandConfirmation confirmation = load(c.method, token);
        ASSERT_TRUE(last.ok()) << last.error_message();
        const std::vector<fw::ExecutionInfo> infos = follow(confirmation);
        ASSERT_FALSE(infos.empty());
        EXPECT_EQ(infos.back().commandstatus(), fw::ExecutionInfo::finishedWithError);
        EXPECT_TRUE(isSilaError(result(confirmation.commandexecutionuuid()),
                                fw::SiLAError::kDefinedExecutionError, c.error));
        const fw::CommandConfirmation injection = inject(c.method, 1, 1.0, token);
        ASSERT_TRUE(last.ok()) << last.error_message();
        gcc::Inject_Responses responses;
        EXPECT_EQ(injected(injection, responses), fw::ExecutionInfo::finishedWithError);
        EXPECT_TRUE(isSilaError(last, fw::SiLAError::kDefinedExecutionError, c.error)) << c.method;
    }
    load("../short", token);
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kValidationError,
                            kGcFeature + "/Command/LoadMethod/Parameter/MethodName"));
    load("short", "");
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::INVALID_METADATA)));
}

// An injection's happy end, its record and results folder, is the Python client's (a
// scheduler's session): here the refusals and the ends that are not a record.
TEST_F(GcController, InjectionsAreCheckedAndEndWithTheirFolderARefusedVialOrLineLost)
{
    serve({"--missing-vial", "7"});
    struct Refused {
        std::optional<long> vial;
        std::optional<double> volume;
        std::string parameter;
    } refused[] = {{0, 1.0, "Vial"},    {10001, 1.0, "Vial"},  {std::nullopt, 1.0, "Vial"},
                   {1, -0.5, "Volume"}, {1, 1000.5, "Volume"}, {1, std::nullopt, "Volume"}};
    for (const Refused& r : refused) {
        inject("short", r.vial, r.volume, token);
        EXPECT_TRUE(isSilaError(last, fw::SiLAError::kValidationError,
                                kGcFeature + "/Command/Inject/Parameter/" + r.parameter));
    }

    // A run of a few milliseconds: its end is the run job's. (A run no poll sees at all,
    // shorter than the 5.5 s poll period, is the Python client's.)
    upload("blink", servicetest::method(0.001));
    gcc::Inject_Responses responses;
    EXPECT_EQ(injected(inject("blink", 1, 1.0, token), responses, 30),
              fw::ExecutionInfo::finishedSuccessfully);
    ASSERT_TRUE(last.ok()) << last.error_message();
    EXPECT_TRUE(std::filesystem::exists(responses.resultsfolder().value() + "/record.txt"));

    // Stored again with other content, a run of half a second: the GC's copy is stale, so it
    // is loaded again. The intermediate responses follow the run state to the run's end.
    upload("blink", servicetest::method(0.5));
    const fw::CommandConfirmation again = inject("blink", 2, 1.0, token);
    auto context = callContext("", 60);
    std::vector<std::string> states;
    for (const auto& change :
         test::readAll(*stub->Inject_Intermediate(context.get(), again.commandexecutionuuid())))
        states.push_back(change.runstate().value());
    EXPECT_THAT(states, ::testing::Contains("Run"));
    EXPECT_EQ(states.empty() ? "" : states.back(), "Idle");
    EXPECT_EQ(injected(again, responses, 30), fw::ExecutionInfo::finishedSuccessfully);
    // No vial 7 in the tray: the sampler refuses it. The GC holds the method: no load.
    EXPECT_EQ(injected(inject("blink", 7, 1.0, token), responses),
              fw::ExecutionInfo::finishedWithError);
    EXPECT_TRUE(
        isSilaError(last, fw::SiLAError::kDefinedExecutionError, kGcErrors + "VialRefused"));
    const std::vector<std::string> kinds = {"load", "run", "load", "run", "run"};
    for (std::size_t id = 1; id <= kinds.size(); ++id)
        EXPECT_EQ(jobKind(static_cast<int>(id)), kinds[id - 1]) << id;

    // The line goes away during a run.
    const fw::CommandConfirmation confirmation = injectIntoALongRun(3, token);
    ASSERT_FALSE(HasFailure());
    sim.stop();
    EXPECT_EQ(injected(confirmation, responses), fw::ExecutionInfo::finishedWithError);
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kDefinedExecutionError, kGcErrors + "LineLost"))
        << test::messageOf(last);
}

// The bound is shortened for the test; a GC that never becomes ready is not injected into,
// and an injection waiting for it gives way to a door that takes the instrument meanwhile.
TEST_F(GcController, AnInjectionWaitingForANotReadyGCEndsWithNotReadyTimeoutOrInstrumentBusy)
{
    const gc6890::test::ScopedEnv bound("GC6890_SILA_READY_BOUND_MS", "3000");
    serve({"--not-ready-bits", "1"});
    gcc::Inject_Responses responses;
    EXPECT_EQ(injected(inject("short", 1, 1.0, token), responses),
              fw::ExecutionInfo::finishedWithError);
    EXPECT_TRUE(
        isSilaError(last, fw::SiLAError::kDefinedExecutionError, kGcErrors + "NotReadyTimeout"))
        << test::messageOf(last);
    EXPECT_EQ(jobKind(2), "") << "nothing but the load may have been asked";

    // The GC holds the method now: the injection goes straight to waiting, and a sequence
    // started over HTTP takes the instrument before the bound passes.
    const fw::CommandConfirmation waiting = inject("short", 2, 1.0, token);
    ASSERT_TRUE(last.ok()) << last.error_message();
    const auto [code, sequence] =
        service.post("/api/v1/sequences?file=tray.toml",
                     gc6890::test::sequenceText("pause", {{3, "short", 1}}), "application/toml");
    ASSERT_EQ(code, 201) << sequence.dump();
    EXPECT_EQ(injected(waiting, responses), fw::ExecutionInfo::finishedWithError);
    EXPECT_TRUE(
        isSilaError(last, fw::SiLAError::kDefinedExecutionError, kGcErrors + "InstrumentBusy"))
        << test::messageOf(last);
    EXPECT_THAT(test::messageOf(last), HasSubstr(sequence.value("id", "?")));
    EXPECT_EQ(jobKind(2), "") << "the injection asked for no run";
}

TEST_F(GcController, StopResetZonesAndACancelledInjectionsStopAreTheServicesJobs)
{
    serve();
    gcc::SwitchHeatedZones_Parameters zones;
    gcc::SwitchHeatedZones_Responses switched;
    EXPECT_TRUE(isSilaError(stub->SwitchHeatedZones(callContext(token).get(), zones, &switched),
                            fw::SiLAError::kValidationError,
                            kGcFeature + "/Command/SwitchHeatedZones/Parameter/On"));
    zones.mutable_on()->set_value(true);
    EXPECT_TRUE(stub->SwitchHeatedZones(callContext(token).get(), zones, &switched).ok());
    gcc::ResetSampler_Responses reset;
    EXPECT_TRUE(stub->ResetSampler(callContext(token).get(), {}, &reset).ok());
    gcc::StopRun_Responses stopped;
    EXPECT_TRUE(isSilaError(stub->StopRun(callContext().get(), {}, &stopped),
                            fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::INVALID_METADATA)));
    EXPECT_TRUE(stub->StopRun(callContext(token).get(), {}, &stopped).ok());
    // Each was a job of the service, in order, seen by every door.
    const std::vector<std::string> kinds = {"zones", "reset", "stop"};
    for (std::size_t id = 1; id <= kinds.size(); ++id) {
        const nlohmann::json job = service.get("/api/v1/jobs/" + std::to_string(id));
        EXPECT_EQ(job.value("kind", ""), kinds[id - 1]) << job.dump();
        EXPECT_EQ(job.value("state", ""), "done") << job.dump();
    }
    // In the audit trail: the switch's acceptance and end with who and the peer, and the
    // StopRun without a token summed.
    std::vector<nlohmann::json> lines;
    for (nlohmann::json line : servicetest::auditLines(home.path()))
        if (line["door"] == "sila") {
            for (const char* chained : {"time", "seq", "prev"})
                line.erase(chained);
            EXPECT_EQ(line["remote"].get<std::string>().rfind("ipv4:127.0.0.1:", 0), 0u);
            line.erase("remote");
            lines.push_back(line);
        }
    const auto zonesLine = [](const char* result) {
        return nlohmann::json{{"user", "service"},
                              {"role", "admin"},
                              {"door", "sila"},
                              {"action", "zones"},
                              {"params", {{"on", true}, {"job", 1}}},
                              {"result", result}};
    };
    EXPECT_THAT(lines, ::testing::IsSupersetOf({zonesLine("accepted"), zonesLine("ok")}));
    EXPECT_THAT(lines, ::testing::Contains(nlohmann::json{{"user", ""},
                                                          {"role", ""},
                                                          {"door", "sila"},
                                                          {"action", "unauthorized"},
                                                          {"params", {{"count", 1}}},
                                                          {"result", "refused: no valid token"}}));

    // An injection cancelled in its run (jobs 4 and 5), under another client's lock: the run is
    // stopped as StopRun stops it (job 6), recorded, and the injection ends with Cancelled
    // naming the record's folder.
    const fw::CommandConfirmation confirmation = injectIntoALongRun(5, token);
    ASSERT_FALSE(HasFailure());
    const std::string uuid = confirmation.commandexecutionuuid().value();
    ASSERT_TRUE(test::lockServer(channel, token, "someone").ok());

    EXPECT_TRUE(isSilaError(cancelCommand(channel, "", uuid), fw::SiLAError::kFrameworkError,
                            std::to_string(fw::FrameworkError::INVALID_METADATA)));
    const grpc::Status cancelled = cancelCommand(channel, token, uuid);
    ASSERT_TRUE(cancelled.ok()) << test::messageOf(cancelled);
    gcc::Inject_Responses responses;
    EXPECT_EQ(injected(confirmation, responses), fw::ExecutionInfo::finishedWithError);
    EXPECT_NE(service.get("/api/v1/status").value("run_state", ""), "Run");
    EXPECT_TRUE(isSilaError(last, fw::SiLAError::kDefinedExecutionError, kGcErrors + "Cancelled"));
    EXPECT_EQ(jobKind(6), "stop");
    const std::string folder = service.get("/api/v1/jobs/5").value("results_folder", "");
    ASSERT_FALSE(folder.empty());
    EXPECT_THAT(test::messageOf(last), HasSubstr(folder));
    EXPECT_THAT(home.read(folder.substr(home.path().size() + 1) + "/run.txt"),
                HasSubstr("stopped"));

    // What cannot be cancelled: a finished execution, an unknown one, a UUID misspelled.
    const std::string invalid = kCancel + "/DefinedExecutionError/InvalidCommandExecutionUUID";
    EXPECT_TRUE(isSilaError(cancelCommand(channel, token, uuid),
                            fw::SiLAError::kDefinedExecutionError, invalid));
    EXPECT_TRUE(isSilaError(cancelCommand(channel, token, test::kUnknownExecution),
                            fw::SiLAError::kDefinedExecutionError, invalid));
    EXPECT_TRUE(isSilaError(cancelCommand(channel, token, "0000000-0000-4000-8000-0000000000000"),
                            fw::SiLAError::kValidationError,
                            kCancel + "/Command/CancelCommand/Parameter/CommandExecutionUUID"));
}

}  // namespace
}  // namespace gc6890::sila
