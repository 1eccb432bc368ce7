// The audit trail at the SiLA 2 door: each changing call that is not a job (the GC
// controller's jobs are submitJob's lines, tested with the HTTP door's) is a line naming the
// account, the peer, the call and how it ended, written before the answer.
#include <gmock/gmock.h>

#include <functional>

#include "GasChromatographController.grpc.pb.h"
#include "PauseController.grpc.pb.h"
#include "SequenceRunner.grpc.pb.h"
#include "SiLAService.grpc.pb.h"
#include "audit/sha256.h"
#include "sila_fixture.h"

namespace gc6890::sila {
namespace {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;
namespace lc = sila2::org::silastandard::core::lockcontroller::v1;
namespace pc = sila2::org::silastandard::core::commands::pausecontroller::v1;
namespace sr = sila2::io::gcsixeightninety::chromatography::sequencerunner::v1;
namespace svc = sila2::org::silastandard::core::silaservice::v1;
using nlohmann::json;
using test::callContext;

class SilaAudit : public test::SilaFixture {};

TEST_F(SilaAudit, EveryChangingCallIsALineWithTheAccountTheCallAndItsEnd)
{
    serve();
    const std::string ana = addAccount("ana", "operator");
    const std::string kim = addAccount("kim", "operator");
    const auto lock = lc::LockController::NewStub(channel);
    const auto controller = gcc::GasChromatographController::NewStub(channel);
    const auto sequences = sr::SequenceRunner::NewStub(channel);
    const auto pauses = pc::PauseController::NewStub(channel);
    const auto server = svc::SiLAService::NewStub(channel);
    const std::string text = servicetest::method(0.5);
    const std::string unknown = test::kUnknownExecution;

    const struct {
        std::function<grpc::Status()> call;
        json expected;  // the newest line's fields (those given); a result ending in "…" a prefix
    } cases[] = {
        {[&] { return test::uploadMethod(channel, callContext(ana), "m1", text); },
         {{"user", "ana"},
          {"role", "operator"},
          {"action", "upload"},
          {"params", {{"method", "m1"}, {"sha256", sha256Hex(text)}, {"call", "UploadMethod"}}},
          {"result", "ok"}}},
        {[&] { return test::lockServer(channel, ana, "L1", 60); },
         {{"user", "ana"},
          {"action", "lock"},
          {"params", {{"call", "LockServer"}, {"timeout_s", 60}}},
          {"result", "ok"}}},
        // Locked by ana: kim's upload and load are refused, each a line of its own.
        {[&] { return test::uploadMethod(channel, callContext(kim), "m2", text); },
         {{"user", "kim"}, {"action", "upload"}, {"result", "refused: …"}}},
        {[&] {
             gcc::LoadMethod_Parameters parameters;
             parameters.mutable_methodname()->set_value("m1");
             fw::CommandConfirmation confirmation;
             return controller->LoadMethod(callContext(kim).get(), parameters, &confirmation);
         },
         {{"user", "kim"},
          {"action", "load"},
          {"params", {{"call", "LoadMethod"}}},
          {"result", "refused: …"}}},
        {[&] {
             lc::UnlockServer_Parameters parameters;
             parameters.mutable_lockidentifier()->set_value("L1");
             lc::UnlockServer_Responses responses;
             return lock->UnlockServer(callContext(ana).get(), parameters, &responses);
         },
         {{"user", "ana"},
          {"action", "lock"},
          {"params", {{"call", "UnlockServer"}}},
          {"result", "ok"}}},
        {[&] {
             sr::RunSequence_Parameters parameters;
             parameters.mutable_name()->set_value("tray.toml");
             parameters.mutable_content()->set_value("name = 3\n");
             fw::CommandConfirmation confirmation;
             return sequences->RunSequence(callContext(kim).get(), parameters, &confirmation);
         },
         {{"user", "kim"},
          {"action", "sequence-start"},
          {"params",
           {{"file", "tray.toml"}, {"sha256", sha256Hex("name = 3\n")}, {"call", "RunSequence"}}},
          {"result", "refused: tray.toml:1: name: …"}}},
        {[&] {
             pc::Pause_Parameters parameters;
             parameters.mutable_commandexecutionuuid()->mutable_uuid()->set_value(unknown);
             pc::Pause_Responses responses;
             return pauses->Pause(callContext(kim).get(), parameters, &responses);
         },
         {{"action", "sequence-pause"},
          {"params", {{"execution", unknown}, {"call", "Pause"}}},
          {"result", "refused: no command execution …"}}},
        {[&] { return test::cancelCommand(channel, kim, unknown); },
         {{"action", "stop"},
          {"params", {{"execution", unknown}, {"call", "CancelCommand"}}},
          {"result", "refused: no command execution …"}}},
        // Anyone may rename the server (the standard's SiLAService takes no token).
        {[&] {
             svc::SetServerName_Parameters parameters;
             parameters.mutable_servername()->set_value("GC 7");
             svc::SetServerName_Responses responses;
             return server->SetServerName(callContext().get(), parameters, &responses);
         },
         {{"user", ""},
          {"action", "server-name"},
          {"params", {{"name", "GC 7"}, {"call", "SetServerName"}}},
          {"result", "ok"}}},
    };
    std::size_t before = servicetest::auditLines(home.path()).size();
    for (const auto& c : cases) {
        const grpc::Status status = c.call();
        const std::vector<json> lines = servicetest::auditLines(home.path());
        ASSERT_EQ(lines.size(), before + 1) << c.expected.dump() << ": " << status.error_message();
        const json& line = lines.back();
        before = lines.size();
        EXPECT_EQ(line["door"], "sila");
        EXPECT_THAT(line.value("remote", ""), ::testing::StartsWith("ipv"));
        for (const auto& [key, value] : c.expected.items()) {
            const std::string wanted = value.is_string() ? value.get<std::string>() : "";
            if (wanted.ends_with("…"))
                EXPECT_THAT(line.value(key, ""),
                            ::testing::StartsWith(wanted.substr(0, wanted.size() - 3)))
                    << c.expected.dump();
            else
                EXPECT_EQ(line[key], value) << c.expected.dump();
        }
        EXPECT_EQ(status.ok(), line["result"] == "ok") << line.dump();
    }
}

}  // namespace
}  // namespace gc6890::sila
