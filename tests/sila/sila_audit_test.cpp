// The audit trail at the SiLA 2 door: each changing call that is not a job (the GC
// controller's jobs are submitJob's lines, tested with the HTTP door's) is a line naming the
// account, the peer, the call and how it ended, written before the answer.
#include <gmock/gmock.h>

#include <functional>

#include "audit/sha256.h"
#include "sila_fixture.h"

namespace gc6890::sila {
namespace {

using nlohmann::json;
using test::callContext;

class SilaAudit : public test::SilaFixture {};

TEST_F(SilaAudit, EveryChangingCallIsALineWithTheAccountTheCallAndItsEnd)
{
    serve();
    const std::string ana = addAccount("ana", "operator");
    const std::string kim = addAccount("kim", "operator");
    fw::CommandConfirmation started;
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
        {[&] { return test::loadMethod(channel, callContext(kim), "m1", started); },
         {{"user", "kim"},
          {"action", "load"},
          {"params", {{"call", "LoadMethod"}}},
          {"result", "refused: …"}}},
        {[&] { return test::unlockServer(channel, ana, "L1"); },
         {{"user", "ana"},
          {"action", "lock"},
          {"params", {{"call", "UnlockServer"}}},
          {"result", "ok"}}},
        // Parameters or a method refused before any job: a line each, as at the HTTP door.
        {[&] { return test::loadMethod(channel, callContext(kim), "../m1", started); },
         {{"user", "kim"},
          {"action", "load"},
          {"params", {{"call", "LoadMethod"}}},
          {"result", "refused: \"../m1\": …"}}},
        {[&] {
             return test::runSequence(channel, callContext(kim), "tray.toml", "name = 3\n",
                                      started);
         },
         {{"user", "kim"},
          {"action", "sequence-start"},
          {"params",
           {{"file", "tray.toml"}, {"sha256", sha256Hex("name = 3\n")}, {"call", "RunSequence"}}},
          {"result", "refused: tray.toml:1: name: …"}}},
        {[&] { return test::pauseOrResume(channel, callContext(kim), true, unknown); },
         {{"action", "sequence-pause"},
          {"params", {{"execution", unknown}, {"call", "Pause"}}},
          {"result", "refused: no command execution …"}}},
        {[&] { return test::cancelCommand(channel, kim, unknown); },
         {{"action", "stop"},
          {"params", {{"execution", unknown}, {"call", "CancelCommand"}}},
          {"result", "refused: no command execution …"}}},
        // Anyone may rename the server (the standard's SiLAService takes no token).
        {[&] { return test::setServerName(channel, "GC 7"); },
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
    // A method the store lacks: the load is confirmed, its execution ends with UnknownMethod,
    // and its line says so.
    ASSERT_TRUE(test::loadMethod(channel, callContext(kim), "m9", started).ok());
    EXPECT_THAT(servicetest::auditLines(home.path()).back().value("result", ""),
                ::testing::StartsWith("refused: no method m9 is stored;"));
}

}  // namespace
}  // namespace gc6890::sila
