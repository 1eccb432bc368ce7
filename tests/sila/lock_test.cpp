// The instrument's lock end to end: a scheduler locks the GC over SiLA 2 (gRPC with TLS,
// gc6890 serve on the simulator program); only its own calls, and stop and a sequence's
// pause and abort from anyone (SiLA, HTTP, a real mosquitto), reach the instrument until it
// unlocks or an operator breaks the lock.
#include <gmock/gmock.h>

#include "GasChromatographController.grpc.pb.h"
#include "mqtt_broker.h"
#include "sila_fixture.h"
#include "support/sequence_text.h"

namespace gc6890::sila {
namespace {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;
namespace lc = sila2::org::silastandard::core::lockcontroller::v1;
using test::callContext;
using test::isSilaError;
using test::lockedContext;
using test::uploadMethod;
using ::testing::HasSubstr;

const std::string kLock = "org.silastandard/core/LockController/v1";
const std::string kController = "io.gcsixeightninety/chromatography/GasChromatographController/v1";
const std::string kSequences = "io.gcsixeightninety/chromatography/SequenceRunner/v1";
const std::string kInvalidMetadata = std::to_string(fw::FrameworkError::INVALID_METADATA);

class InstrumentLockDoors : public test::SilaFixture {
protected:
    void connected() override
    {
        lock = lc::LockController::NewStub(channel);
        controller = gcc::GasChromatographController::NewStub(channel);
    }
    bool isLocked()
    {
        lc::Get_IsLocked_Responses responses;
        EXPECT_TRUE(lock->Get_IsLocked(callContext().get(), {}, &responses).ok());
        return responses.islocked().value();
    }
    // An injection of vial 1 with `context`'s metadata; its status at the start.
    grpc::Status inject(std::unique_ptr<grpc::ClientContext> context,
                        fw::CommandConfirmation& confirmation)
    {
        gcc::Inject_Parameters parameters;
        parameters.mutable_methodname()->set_value("short");
        parameters.mutable_vial()->set_value(1);
        parameters.mutable_volume()->set_value(1.0);
        return controller->Inject(context.get(), parameters, &confirmation);
    }

    std::unique_ptr<lc::LockController::Stub> lock;
    std::unique_ptr<gcc::GasChromatographController::Stub> controller;
};

TEST_F(InstrumentLockDoors, OnlyTheHolderAndStopReachTheLockedInstrumentOverSila)
{
    serve();
    EXPECT_FALSE(isLocked());
    EXPECT_TRUE(isSilaError(test::lockServer(channel, token, "key", 0),
                            fw::SiLAError::kValidationError,
                            kLock + "/Command/LockServer/Parameter/Timeout"));
    ASSERT_TRUE(test::lockServer(channel, token, "key").ok());
    EXPECT_TRUE(isLocked());
    EXPECT_TRUE(isSilaError(test::lockServer(channel, token, "other"),
                            fw::SiLAError::kDefinedExecutionError,
                            kLock + "/DefinedExecutionError/ServerAlreadyLocked"));
    lc::Get_FCPAffectedByMetadata_LockIdentifier_Responses affected;
    ASSERT_TRUE(
        lock->Get_FCPAffectedByMetadata_LockIdentifier(callContext().get(), {}, &affected).ok());
    std::vector<std::string> calls;
    for (const auto& call : affected.affectedcalls())
        calls.push_back(call.value());
    EXPECT_EQ(calls,
              (std::vector<std::string>{
                  "io.gcsixeightninety/chromatography/MethodProvider/v1/Command/UploadMethod",
                  kController + "/Command/LoadMethod", kController + "/Command/Inject",
                  kController + "/Command/ResetSampler", kController + "/Command/SwitchHeatedZones",
                  kSequences + "/Command/RunSequence", kSequences + "/Command/SkipPausedRow",
                  "org.silastandard/core.commands/PauseController/v1/Command/Resume"}));

    // Another client: without the identifier, with another one. (Its upload refused:
    // SilaAudit's case; the HTTP door's refusals: the next case.)
    fw::CommandConfirmation confirmation;
    EXPECT_TRUE(isSilaError(inject(callContext(token), confirmation),
                            fw::SiLAError::kFrameworkError, kInvalidMetadata));
    EXPECT_TRUE(isSilaError(inject(lockedContext(token, "guess"), confirmation),
                            fw::SiLAError::kDefinedExecutionError,
                            kLock + "/DefinedExecutionError/InvalidLockIdentifier"));
    const std::string text = servicetest::method(0.5);
    // Stop from anyone.
    gcc::StopRun_Responses stopped;
    EXPECT_TRUE(controller->StopRun(callContext(token).get(), {}, &stopped).ok());

    // The holder injects: its identifier passes the load and the run.
    ASSERT_TRUE(uploadMethod(channel, lockedContext(token, "key"), "short", text).ok());
    const grpc::Status started = inject(lockedContext(token, "key"), confirmation);
    ASSERT_TRUE(started.ok()) << test::messageOf(started);
    auto follow = callContext("", 90);
    test::readAll(*controller->Inject_Info(follow.get(), confirmation.commandexecutionuuid()));
    gcc::Inject_Responses injected;
    const grpc::Status result = controller->Inject_Result(
        callContext().get(), confirmation.commandexecutionuuid(), &injected);
    EXPECT_TRUE(result.ok()) << test::messageOf(result);

    EXPECT_TRUE(isSilaError(test::unlockServer(channel, token, "guess"),
                            fw::SiLAError::kDefinedExecutionError,
                            kLock + "/DefinedExecutionError/InvalidLockIdentifier"));
    ASSERT_TRUE(test::unlockServer(channel, token, "key").ok());
    EXPECT_FALSE(isLocked());
    EXPECT_TRUE(isSilaError(test::unlockServer(channel, token, "key"),
                            fw::SiLAError::kDefinedExecutionError,
                            kLock + "/DefinedExecutionError/ServerNotLocked"));
    EXPECT_EQ(service.post("/api/v1/zones", R"({"on": true})").first, 202);
}

TEST_F(InstrumentLockDoors, HttpAndMqttGetTheLocksConflictButStopPauseAndAbortUntilReleased)
{
    servicetest::Broker broker(home.path());
    ASSERT_TRUE(broker.start());
    serve({}, {"--mqtt", broker.url(), "--mqtt-commands", "--name", "gc1"});
    upload("long", servicetest::method(4.0));
    const auto [started, sequence] = service.post(
        "/api/v1/sequences", gc6890::test::sequenceText("pause", {{1, "long"}, {2, "long"}}),
        "application/toml");
    ASSERT_EQ(started, 201) << sequence.dump();
    const std::string id = sequence.value("id", "");
    ASSERT_TRUE(test::lockServer(channel, token, "key").ok());

    struct Change {
        std::string path, body, type;
    } refused[] = {{"/api/v1/load", R"({"method": "short"})", "application/json"},
                   {"/api/v1/run", R"({"method": "short", "vial": 1})", "application/json"},
                   {"/api/v1/zones", R"({"on": false})", "application/json"},
                   {"/api/v1/reset", "{}", "application/json"},
                   {"/api/v1/methods/other", servicetest::method(0.5), "text/plain"},
                   {"/api/v1/sequences", gc6890::test::sequenceText("pause", {{3, "short"}}),
                    "application/toml"}};
    for (const Change& change : refused) {
        const auto [code, answer] = service.post(change.path, change.body, change.type);
        EXPECT_EQ(code, 409) << change.path << " " << answer.dump();
        EXPECT_THAT(answer.value("reason", ""), HasSubstr("locked by the SiLA 2 client"));
        EXPECT_FALSE(answer.value("locked_until", "").empty()) << answer.dump();
    }
    servicetest::Subscriber subscriber(broker.port(),
                                       {"gc6890/gc1/reply/#", "gc6890/gc1/instrument_lock"});
    subscriber.publish("gc6890/gc1/cmd/zones",
                       nlohmann::json{{"id", "z1"}, {"on", false}, {"token", token}}.dump());
    const std::optional<servicetest::Message> mqtt =
        subscriber.waitFor("gc6890/gc1/reply/z1", 10000);
    ASSERT_TRUE(mqtt);
    const nlohmann::json reply = nlohmann::json::parse(mqtt->payload);
    EXPECT_EQ(reply.value("code", 0), 409) << mqtt->payload;
    EXPECT_FALSE(reply.value("locked_until", "").empty()) << mqtt->payload;

    // The sequence pauses and aborts from any door; a resume waits for the lock.
    const std::string control = "/api/v1/sequences/" + id + "/";
    EXPECT_EQ(service.post(control + "pause", "").first, 200);
    EXPECT_EQ(service.post(control + "resume", "").first, 409);
    EXPECT_EQ(service.post(control + "abort", "").first, 200);
    EXPECT_EQ(service.post("/api/v1/stop", "").first, 202);

    // An operator breaks the lock; the event says who.
    servicetest::EventReader events(service.port());
    httplib::Client anonymous = service.client();
    EXPECT_EQ(anonymous.Post("/api/v1/lock/release", "", "application/json")->status, 401);
    const auto [released, answer] = service.post("/api/v1/lock/release", "");
    EXPECT_EQ(released, 200);
    EXPECT_TRUE(answer.value("released", false)) << answer.dump();
    const auto broken = events.waitFor(
        [](const servicetest::Event& e) {
            return e.name == "instrument_lock" && e.data.contains("ended");
        },
        10000);
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->data.value("ended", ""), "released") << broken->data.dump();
    EXPECT_THAT(broken->data.value("by", ""), HasSubstr("127.0.0.1"));
    const std::optional<servicetest::Message> onBroker =
        subscriber.waitFor("gc6890/gc1/instrument_lock", 10000);
    ASSERT_TRUE(onBroker);
    EXPECT_THAT(onBroker->payload, HasSubstr("\"released\""));
    EXPECT_FALSE(isLocked());
    EXPECT_EQ(service.post("/api/v1/methods/other", servicetest::method(0.5), "text/plain").first,
              201);
}

}  // namespace
}  // namespace gc6890::sila
