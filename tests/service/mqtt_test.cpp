// The service on a broker: gc6890 serve --mqtt against gc6890-sim (60 times real speed) and
// a real mosquitto on a free loopback port, watched by a libmosquitto subscriber.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>

#include "audit/sha256.h"
#include "mqtt_broker.h"
#include "service/safe_text.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;

json payload(const std::optional<Message>& message)
{
    return message ? json::parse(message->payload, nullptr, false) : json();
}

// The most memory the process `pid` has held (VmHWM), in KiB.
long peakMemoryKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A message of gc1 as the order checks name it ("load done", "run state idle"):
// "gc6890/gc1/job" is a job's event; commands ("gc6890/gc1/cmd/run") are none (and are not
// parsed: some are 16 MiB).
std::string heardAs(const Message& m)
{
    const bool event =
        m.topic.rfind("gc6890/gc1/", 0) == 0 && m.topic.find("/cmd/") == m.topic.npos;
    return event ? describe(m.topic.substr(11), payload(m)) : "";
}

class MqttTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        // While the broker is away, 5 events are kept.
        write("registry.ini", quickPolls + "[Inlets\\Hubrel\\Service]\nMqttQueue=5\n");
        ASSERT_TRUE(broker.start());
    }
    // The simulator (with more `simOptions`) and the service publishing as gc1, its line up,
    // its standard error in the home's gc1.err.
    void startInstrument(bool commands = true, std::vector<std::string> simOptions = {})
    {
        ASSERT_TRUE(startSim(simOptions));
        service.errorLog = home.path() + "/gc1.err";
        ASSERT_TRUE(service.start(link, serviceOptions(commands)));
    }
    std::vector<std::string> serviceOptions(bool commands = true) const
    {
        std::vector<std::string> options = {"--mqtt", broker.url(), "--name", "gc1"};
        if (commands)
            options.push_back("--mqtt-commands");
        return options;
    }
    // Publishes the command to gc1 and waits for its answer on
    // reply/`replyId` (the body's id by default). The body carries the service's token
    // unless it has a token of its own.
    json command(Subscriber& subscriber, const std::string& kind, json body)
    {
        if (!body.contains("token"))
            body["token"] = service.token();
        return command(subscriber, kind, body.dump(), body.value("id", "invalid"));
    }
    json command(Subscriber& subscriber, const std::string& kind, const std::string& body,
                 const std::string& replyId)
    {
        // The answer after those that came before on the same topic.
        const std::string reply = "gc6890/gc1/reply/" + replyId;
        const auto onReply = [&](const Message& m) { return m.topic == reply; };
        const std::size_t before = subscriber.waitForCount(onReply, 0, 0).size();
        subscriber.publish("gc6890/gc1/cmd/" + kind, body);
        const std::vector<Message> replies = subscriber.waitForCount(onReply, before + 1, 10000);
        return replies.size() > before ? payload(replies.back()) : json();
    }

    Broker broker{home.path()};
};

// The GC's identity answer carries a byte that is not UTF-8 (line noise, an 8-bit
// character): it reaches every door as U+FFFD.
TEST_F(MqttTest, RetainedTopicsCommandsEventsInOrderValidTextAndTheLastWill)
{
    startInstrument(true, {"--firmware", "A.03\\xB005"});  // the byte 0xB0
    upload("short", method(0.5));
    EventReader events(service.port(), 0);
    const std::string firmware = "A.03\xEF\xBF\xBD"
                                 "05";
    const httplib::Result status = service.client().Get("/api/v1/status");
    ASSERT_TRUE(status);
    EXPECT_EQ(validUtf8(status->body), status->body);
    EXPECT_EQ(json::parse(status->body)["identity"]["firmware"], firmware);

    // A subscriber that comes later still sees the instrument at once.
    Subscriber late(broker.port(), {"gc6890/gc1/#"});
    const auto retained = [&](const std::string& topic) {
        return payload(late.waitFor(
            [&](const Message& m) { return m.topic == "gc6890/gc1/" + topic && m.retained; },
            10000));
    };
    EXPECT_EQ(retained("online"), true);
    EXPECT_EQ(retained("identity")["product"], "HP 6890 GC");
    EXPECT_EQ(retained("identity")["name"], "gc1");
    EXPECT_EQ(retained("identity")["firmware"], firmware);
    EXPECT_EQ(retained("status")["name"], "gc1");
    EXPECT_EQ(retained("status")["line"], "up");

    // A wrong body is answered with the field at fault and starts nothing (the checks are the
    // HTTP requests' own; each bound is tested in process, mqtt_commands_test.cpp); one too
    // large is refused before it is read, the memory of the service bounded (its peak grows
    // by far less than 16 MiB parsed would cost).
    const long peakBefore = peakMemoryKiB(service.pid());
    // A viewer's token is refused as over HTTP, and so is one of no account.
    const std::string viewerToken = addAccount("vic", "viewer");
    const struct {
        const char* topic;
        std::string body;
        const char* reply;  // the id its answer goes to
        const char* field;  // "" for none
        int code = 400;
    } wrongs[] = {
        {.topic = "load",
         .body = json{{"id", "w2"}, {"method", "none"}, {"token", service.token()}}.dump(),
         .reply = "w2",
         .field = "method"},
        {.topic = "stop",
         .body = json{{"id", "w3"}, {"token", viewerToken}}.dump(),
         .reply = "w3",
         .field = "",
         .code = 403},
        {.topic = "stop", .body = R"({"id":"w4"})", .reply = "w4", .field = "token", .code = 401},
        {.topic = "load", .body = R"({"method":"short"})", .reply = "invalid", .field = "id"},
        {.topic = "zones",
         .body = std::string(16 << 20, '['),
         .reply = "invalid",
         .field = "body",
         .code = 413},
    };
    for (const auto& wrong : wrongs) {
        const json reply = command(late, wrong.topic, wrong.body, wrong.reply);
        EXPECT_EQ(reply["ok"], false) << wrong.body.substr(0, 40);
        EXPECT_EQ(reply["code"], wrong.code) << reply.dump();
        EXPECT_EQ(reply.value("field", ""), wrong.field) << reply.dump();
    }
    EXPECT_EQ(service.get("/api/v1/status")["job"], nullptr);
    EXPECT_LT(peakMemoryKiB(service.pid()) - peakBefore, 64 << 10);

    // A load, then a run, through the broker; during the run, the one-job rule as over HTTP.
    const json load = command(late, "load", {{"id", "l1"}, {"method", "short"}});
    ASSERT_EQ(load["ok"], true) << load.dump();
    const auto hear = [&](const std::string& what) {
        return late.waitFor([&](const Message& m) { return heardAs(m) == what; }, 30000);
    };
    ASSERT_TRUE(hear("load done"));
    const json run = command(late, "run", {{"id", "r1"}, {"method", "short"}, {"vial", 2}});
    ASSERT_EQ(run["ok"], true) << run.dump();
    ASSERT_TRUE(hear("run state run"));
    const json busy = command(late, "zones", {{"id", "z1"}, {"on", true}});
    EXPECT_EQ(busy["code"], 409) << busy.dump();
    // The run's and the refused command's lines were in the audit trail before their replies.
    const std::string shortSha = sha256Hex(service.client().Get("/api/v1/methods/short")->body);
    const std::vector<json> audit = auditLines(home.path());
    const auto lineOf = [&](const std::string& command) {
        const auto found = std::find_if(audit.begin(), audit.end(), [&](const json& line) {
            return line["params"].value("command", "") == command;
        });
        return found == audit.end() ? json() : *found;
    };
    EXPECT_EQ(lineOf("r1"), json({{"user", "service"},
                                  {"role", "admin"},
                                  {"door", "mqtt"},
                                  {"remote", "broker"},
                                  {"action", "run"},
                                  {"params",
                                   {{"method", "short"},
                                    {"sha256", shortSha},
                                    {"vial", 2},
                                    {"volume", 1.0},
                                    {"command", "r1"},
                                    {"job", run["job"]}}},
                                  {"result", "accepted"},
                                  {"time", lineOf("r1")["time"]},
                                  {"seq", lineOf("r1")["seq"]},
                                  {"prev", lineOf("r1")["prev"]}}));
    EXPECT_THAT(lineOf("z1").value("result", ""),
                ::testing::StartsWith("refused: the GC is in a run"));
    ASSERT_TRUE(hear("run state idle"));

    std::vector<std::string> seen;
    for (const Message& m : late.all()) {
        EXPECT_FALSE(m.retained && m.topic.find("/job") != std::string::npos);
        EXPECT_EQ(validUtf8(m.payload), m.payload) << m.topic;
        seen.push_back(heardAs(m));
    }
    expectLoadThenRun(seen);
    // Every event (the comms log's lines, the opening notice among them) parsed as JSON.
    for (const Event& event : events.all())
        EXPECT_FALSE(event.data.is_discarded()) << event.name;

    // Commands from an anonymous broker are warned of.
    EXPECT_NE(home.read("gc1.err").find("anyone who can reach the broker can command"),
              std::string::npos);
    // Killed outright, the service leaves its last will.
    kill(service.pid(), SIGKILL);
    EXPECT_TRUE(late.waitFor(
        [](const Message& m) { return m.topic == "gc6890/gc1/online" && m.payload == "false"; },
        10000));
}

// A command published retained reaches the service once, live; the broker hands it out again
// at every start, and the service ignores it then, saying so. (A repeated id's answer is
// the command handler's, tested in process.)
TEST_F(MqttTest, ARetainedCommandRunsOnceNotAgainAtARestart)
{
    const std::string injections = home.path() + "/injections";
    startInstrument(true, {"--injection-log", injections});
    upload("short", method(0.5));
    Subscriber client(broker.port(), {"gc6890/gc1/reply/#"});
    client.publish(
        "gc6890/gc1/cmd/run",
        json{{"id", "r1"}, {"method", "short"}, {"vial", 7}, {"token", service.token()}}.dump(),
        true);
    const std::optional<Message> first = client.waitFor("gc6890/gc1/reply/r1", 10000);
    ASSERT_EQ(payload(first)["code"], 202) << payload(first).dump();
    EXPECT_EQ(service.waitFor("/api/v1/jobs/1", "state", {"done", "failed"}, 20000)["state"],
              "done");
    // The sampler answers before it injects: the vial goes in a moment after the job's end,
    // and a service stopped before then would leave the injection undone.
    for (int waited = 0; waited < 100 && home.read("injections").empty(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    ASSERT_EQ(service.stop(), 0);
    ASSERT_TRUE(service.start(link, serviceOptions()));
    const auto retainedSeen = [&] {
        return metric(service.client().Get("/metrics")->body,
                      "gc6890_mqtt_commands_total{outcome=\"retained\"}") == 1;
    };
    for (int waited = 0; waited < 100 && !retainedSeen(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(retainedSeen());
    EXPECT_EQ(service.client().Get("/api/v1/jobs/1")->status, 404);
    EXPECT_EQ(home.read("injections"), "vial 7\n");
    const std::string told = home.read("gc1.err");
    const std::size_t at = told.find("ignored the retained command");  // told once
    EXPECT_TRUE(at != told.npos && told.find("ignored the retained", at + 1) == told.npos) << told;
}

TEST_F(MqttTest, ABrokerOutageDelaysNoPollAndLosesOnlyCountedEvents)
{
    startInstrument(false);
    // The service is on the broker before it goes.
    ASSERT_TRUE(
        Subscriber(broker.port(), {"gc6890/gc1/status"}).waitFor("gc6890/gc1/status", 10000));
    EventReader events(service.port());
    broker.stop();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    ASSERT_TRUE(broker.start());

    // Polled every 300 ms all along: no gap between two polls near a second.
    int polls = 0;
    for (const Event& event : events.all())
        polls += event.name == "status";
    EXPECT_GE(polls, 20);
    const json times = service.get("/api/v1/history?seconds=11")["time_ms"];
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(times[i].get<long long>() - times[i - 1].get<long long>(), 1000) << i;

    // Back: the retained topics again for a new subscriber (the broker kept nothing), and
    // the events that did not fit counted and told.
    Subscriber after(broker.port(), {"gc6890/gc1/+"});
    for (const char* topic : {"gc6890/gc1/online", "gc6890/gc1/identity", "gc6890/gc1/status"})
        EXPECT_TRUE(after.waitFor(topic, 15000)) << topic;
    EXPECT_GT(metric(service.client().Get("/metrics")->body, "gc6890_mqtt_lost_total"), 0);
    const auto told = [](const Event& e) {
        return e.name == "log" && e.data.dump().find("could not be published") != std::string::npos;
    };
    EXPECT_TRUE(events.waitFor(told, 15000));

    // Started without --mqtt-commands: a command is refused, and there is nothing to warn of.
    Subscriber replies(broker.port(), {"gc6890/gc1/reply/#"});
    EXPECT_EQ(command(replies, "stop", {{"id", "s1"}})["code"], 403);
    EXPECT_EQ(home.read("gc1.err").find("can command the instrument"), std::string::npos);
}

}  // namespace
}  // namespace gc6890::servicetest
