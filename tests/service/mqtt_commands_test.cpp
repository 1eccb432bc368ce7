// The broker's command handler in process (the broker itself is in mqtt_test.cpp): what is
// checked before a payload is read, and the id window.
#include "service/mqtt_commands.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/temp_home.h"

namespace gc6890 {
namespace {

using nlohmann::json;
using Outcome = MqttCommands::Outcome;

const std::string kCmd = "gc6890/gc1/cmd/";

class MqttCommandsTest : public ::testing::Test {
protected:
    MqttCommandsTest() { home.write("short.toml", "# read by name only\n"); }
    MqttCommands make(bool enabled)
    {
        return MqttCommands(
            "gc6890/gc1/", enabled, MethodStore(home.path()),
            [](const std::string& token, Action action) {
                // Here a command without a token is let through (the doors' own admission
                // is tested through them); "viewer" may only read; any other is no account's.
                using Verdict = Admission::Verdict;
                const Verdict verdict = token.empty()       ? Verdict::Admitted
                                        : token == "viewer" ? Verdict::Forbidden
                                                            : Verdict::WrongToken;
                return Admission{verdict, Caller{token, Role::Viewer}, action};
            },
            [this](const JobRequest& request) {
                submitted.push_back(request);
                return busy ? JobBoard::Submitted{0, "the GC is in a run", {}}
                            : JobBoard::Submitted{submitted.size(), {}, {}};
            },
            [this](const std::string& text) { logged.push_back(text); });
    }

    test::TempHome home;
    std::vector<JobRequest> submitted;
    std::vector<std::string> logged;
    bool busy = false;
};

std::string nested(int depth)
{
    return R"({"id":"d","on":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

TEST_F(MqttCommandsTest, ChecksTopicRetainSizeAndDepthBeforeTheCommandIsRead)
{
    MqttCommands commands = make(true);
    // Not answered: another instrument's topic, one below a command's, a retained command.
    const std::pair<std::string, bool> ignored[] = {
        {"gc6890/gc2/cmd/stop", false}, {kCmd + "stop/x", false}, {kCmd + "run", true}};
    for (const auto& [topic, retained] : ignored) {
        const MqttCommands::Result result =
            commands.handle(topic, R"({"id":"r1","method":"short","vial":7})", retained, 0);
        EXPECT_EQ(result.outcome, retained ? Outcome::Retained : Outcome::NotOurs) << topic;
        EXPECT_EQ(result.replyTopic + result.reply, "") << topic;
    }
    // A payload of `size` bytes, refused for its unknown field "x" once it is read.
    const auto sized = [](std::size_t size) {
        const std::string head = R"({"id":"z","on":true,"x":")";
        return head + std::string(size - head.size() - 2, 'x') + "\"}";
    };
    const struct {
        std::string kind, payload;
        int code;
        std::string field, replyId;
    } refused[] = {
        {"zones", sized(4096), 400, "x", "z"},
        {"zones", sized(4097), 413, "body", "invalid"},
        {"zones", nested(16), 400, "on", "d"},
        {"zones", nested(17), 400, "body", "d"},
        {"zones", std::string(4000, '['), 400, "body", "invalid"},
        {"stop", "{\"id\":\"a\xB0\"}", 400, "id", "invalid"},
        {"r\xB0n", R"({"id":"u"})", 404, "", "u"},
        // The caller before the payload's fields (this "on" is no Boolean).
        {"zones", R"({"id":"v","on":0,"token":"viewer"})", 403, "", "v"},
        {"zones", R"({"id":"w","on":0,"token":"gone"})", 401, "token", "w"},
    };
    for (const auto& c : refused) {
        const MqttCommands::Result result = commands.handle(kCmd + c.kind, c.payload, false, 0);
        const std::string what = c.kind + " " + c.payload.substr(0, 40);
        EXPECT_EQ(result.outcome, Outcome::Refused) << what;
        EXPECT_EQ(result.replyTopic, "gc6890/gc1/reply/" + c.replyId) << what;
        const json reply = json::parse(result.reply);
        EXPECT_EQ(reply.value("code", 0), c.code) << what << ": " << result.reply;
        EXPECT_EQ(reply.value("field", ""), c.field) << what << ": " << result.reply;
    }
    EXPECT_TRUE(submitted.empty());
    // The retained command is told once, however often it comes.
    commands.handle(kCmd + "run", R"({"id":"r2"})", true, 0);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("retained"), std::string::npos) << logged[0];
}

TEST_F(MqttCommandsTest, ATakenIdGetsItsFirstReplyAgainWithinTheWindowAndRunsNothing)
{
    MqttCommands commands = make(true);
    const std::string run = R"({"id":"r1","method":"short","vial":7})";
    const MqttCommands::Result first = commands.handle(kCmd + "run", run, false, 0);
    ASSERT_EQ(first.outcome, Outcome::Taken) << first.reply;
    // The same id on any command, until the window ends: the first reply, no job.
    const std::pair<std::string, std::int64_t> repeats[] = {
        {kCmd + "run", 1000}, {kCmd + "stop", MqttCommands::kRepeatWindowMs}};
    for (const auto& [topic, atMs] : repeats) {
        const MqttCommands::Result again = commands.handle(topic, run, false, atMs);
        EXPECT_EQ(again.outcome, Outcome::Repeated);
        EXPECT_EQ(again.replyTopic, first.replyTopic);
        EXPECT_EQ(again.reply, first.reply);
    }
    EXPECT_EQ(submitted.size(), 1u);
    EXPECT_EQ(commands.handle(kCmd + "run", run, false, MqttCommands::kRepeatWindowMs + 1).outcome,
              Outcome::Taken);

    // A refused command changed nothing: the same id may come again and be taken.
    busy = true;
    EXPECT_EQ(commands.handle(kCmd + "stop", R"({"id":"s1"})", false, 0).outcome, Outcome::Refused);
    busy = false;
    EXPECT_EQ(commands.handle(kCmd + "stop", R"({"id":"s1"})", false, 0).outcome, Outcome::Taken);
    EXPECT_EQ(submitted.front().kind, JobKind::Run);
    EXPECT_EQ(submitted.back().kind, JobKind::Stop);

    // At most kRememberedIds: one more and the oldest is forgotten.
    for (std::size_t i = 0; i < MqttCommands::kRememberedIds; ++i)
        commands.handle(kCmd + "stop", json{{"id", "n" + std::to_string(i)}}.dump(), false, 0);
    EXPECT_EQ(commands.handle(kCmd + "stop", R"({"id":"s1"})", false, 0).outcome, Outcome::Taken);
    EXPECT_EQ(commands.handle(kCmd + "stop", R"({"id":"n999"})", false, 0).outcome,
              Outcome::Repeated);
}

TEST_F(MqttCommandsTest, WithoutTheSwitchEveryCommandIsRefusedAndToldOnce)
{
    MqttCommands commands = make(false);
    for (const char* id : {"s1", "s2"}) {
        const MqttCommands::Result result =
            commands.handle(kCmd + "stop", json{{"id", id}}.dump(), false, 0);
        EXPECT_EQ(json::parse(result.reply)["code"], 403);
        EXPECT_EQ(result.replyTopic, "gc6890/gc1/reply/" + std::string(id));
    }
    EXPECT_TRUE(submitted.empty());
    EXPECT_EQ(logged.size(), 1u);
}

}  // namespace
}  // namespace gc6890
