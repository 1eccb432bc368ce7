// The service on a broker: gc6890 serve --mqtt against gc6890-sim (60 times real speed) and
// a real mosquitto on a free loopback port, watched by a libmosquitto subscriber.
#include <gtest/gtest.h>

#include <signal.h>

#include "mqtt_broker.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;

json payload(const std::optional<Message>& message)
{
    return message ? json::parse(message->payload, nullptr, false) : json();
}

// A message of gc1 as the order checks name it ("load done", "run state idle"):
// "gc6890/gc1/job" is a job's event, "gc6890/gc1/cmd/run" is not the run's.
std::string heardAs(const Message& m)
{
    return m.topic.rfind("gc6890/gc1/", 0) == 0 ? describe(m.topic.substr(11), payload(m)) : "";
}

class MqttTest : public hosttest::HomeTest {
protected:
    void SetUp() override
    {
        // While the broker is away, 5 events are kept.
        write("registry.ini", quickPolls + "[Inlets\\Hubrel\\Service]\nMqttQueue=5\n");
        ASSERT_TRUE(broker.start());
    }
    // A simulator and a service publishing as `name`, its line up.
    void startInstrument(const std::string& name, bool commands = true)
    {
        auto& sim = *sims.emplace_back(std::make_unique<test::SimulatorProgram>());
        const std::string link = home.path() + "/" + name;
        ASSERT_TRUE(sim.start({"--speed", "60", "--link", link}));
        auto& service = *services.emplace_back(std::make_unique<ServiceProcess>());
        std::vector<std::string> options = {"--mqtt", broker.url(), "--name", name};
        if (commands)
            options.push_back("--mqtt-commands");
        ASSERT_TRUE(service.start(link, options));
    }
    // Publishes the command to the instrument called `name` and waits for its answer.
    json command(Subscriber& subscriber, const std::string& name, const std::string& command,
                 const json& body)
    {
        subscriber.publish("gc6890/" + name + "/cmd/" + command, body.dump());
        const std::string reply = "gc6890/" + name + "/reply/" + body.value("id", "invalid");
        return payload(subscriber.waitFor(reply, 10000));
    }

    Broker broker{home.path()};
    std::vector<std::unique_ptr<test::SimulatorProgram>> sims;
    std::vector<std::unique_ptr<ServiceProcess>> services;  // stop before the simulators
};

TEST_F(MqttTest, RetainedTopicsCommandsEventsInOrderAndTheLastWill)
{
    startInstrument("gc1");
    ServiceProcess& service = *services[0];
    ASSERT_EQ(service.post("/api/v1/methods/short", method(0.5), "text/plain").first, 201);

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
    EXPECT_EQ(retained("status")["name"], "gc1");
    EXPECT_EQ(retained("status")["line"], "up");

    // A wrong body is answered with the field at fault and starts nothing (the checks are the
    // HTTP requests' own).
    const struct {
        const char* topic;
        json body;
        const char* field;  // "" for none
        int code = 400;
    } wrongs[] = {
        {.topic = "load", .body = {{"id", "w2"}, {"method", "none"}}, .field = "method"},
        {.topic = "load", .body = {{"method", "short"}}, .field = "id"},
        {.topic = "inject", .body = {{"id", "w5"}}, .field = "", .code = 404},
    };
    for (const auto& wrong : wrongs) {
        const json reply = command(late, "gc1", wrong.topic, wrong.body);
        EXPECT_EQ(reply["ok"], false) << wrong.body.dump();
        EXPECT_EQ(reply["code"], wrong.code) << reply.dump();
        EXPECT_EQ(reply.value("field", ""), wrong.field) << reply.dump();
    }
    EXPECT_EQ(service.get("/api/v1/status")["job"], nullptr);

    // A load, then a run, through the broker; during the run, the one-job rule as over HTTP.
    const json load = command(late, "gc1", "load", {{"id", "l1"}, {"method", "short"}});
    ASSERT_EQ(load["ok"], true) << load.dump();
    const auto hear = [&](const std::string& what) {
        return late.waitFor([&](const Message& m) { return heardAs(m) == what; }, 30000);
    };
    ASSERT_TRUE(hear("load done"));
    const json run = command(late, "gc1", "run", {{"id", "r1"}, {"method", "short"}, {"vial", 2}});
    ASSERT_EQ(run["ok"], true) << run.dump();
    ASSERT_TRUE(hear("run state run"));
    const json busy = command(late, "gc1", "zones", {{"id", "z1"}, {"on", true}});
    EXPECT_EQ(busy["code"], 409) << busy.dump();
    ASSERT_TRUE(hear("run state idle"));

    std::vector<std::string> seen;
    for (const Message& m : late.all()) {
        EXPECT_FALSE(m.retained && m.topic.find("/job") != std::string::npos);
        seen.push_back(heardAs(m));
    }
    expectLoadThenRun(seen);

    // Killed outright, the service leaves its last will.
    kill(service.pid(), SIGKILL);
    EXPECT_TRUE(late.waitFor(
        [](const Message& m) { return m.topic == "gc6890/gc1/online" && m.payload == "false"; },
        10000));
}

TEST_F(MqttTest, ABrokerOutageDelaysNoPollAndLosesOnlyCountedEvents)
{
    startInstrument("gc1");
    ServiceProcess& service = *services[0];
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
}

TEST_F(MqttTest, ThreeInstrumentsOnOneBrokerEachUnderItsName)
{
    Subscriber lab(broker.port(), {"gc6890/+/status", "gc6890/+/reply/#"});
    for (const char* name : {"gc-a", "gc-b", "gc-c"}) {
        startInstrument(name, std::string(name) != "gc-b");
        const auto status = lab.waitFor("gc6890/" + std::string(name) + "/status", 10000);
        EXPECT_EQ(payload(status)["name"], name);
    }
    // gc-b was started without --mqtt-commands: refused, nothing done; gc-c takes it.
    const json refused = command(lab, "gc-b", "stop", {{"id", "s1"}});
    EXPECT_EQ(refused["code"], 403) << refused.dump();
    EXPECT_EQ(services[1]->client().Get("/api/v1/jobs/1")->status, 404);
    const json taken = command(lab, "gc-c", "stop", {{"id", "s2"}});
    EXPECT_EQ(taken["ok"], true) << taken.dump();
    EXPECT_EQ(services[2]->get("/api/v1/jobs/" + std::to_string(taken.value("job", 0)))["kind"],
              "stop");
}

}  // namespace
}  // namespace gc6890::servicetest
