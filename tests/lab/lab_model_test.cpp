// The lab model fed with topic messages as the broker hands them, in process: each alert
// rule, its end, and what the lab shows of an instrument.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "lab/lab_model.h"

namespace gc6890::lab {
namespace {

using nlohmann::json;

constexpr std::int64_t kStart = 1'800'000'000'000;  // Unix ms
constexpr std::int64_t kNotReadyMs = 60'000;

json status(json changes = json::object())
{
    json s = {{"name", "gc1"},      {"run_state", "idle"},
              {"line", "up"},       {"line_reason", ""},
              {"stale", false},     {"age_ms", 120},
              {"not_ready", false}, {"not_ready_text", ""},
              {"error", false},     {"error_text", ""},
              {"elapsed_min", 0.0}, {"oven_temperature", 50.0},
              {"method", nullptr},  {"run_length_min", nullptr},
              {"vial", nullptr},    {"sequence", nullptr},
              {"job", nullptr}};
    if (changes.is_object())
        s.update(changes);
    return s;
}

class LabModelTest : public ::testing::Test {
protected:
    void send(const std::string& name, const std::string& leaf, const std::string& payload,
              std::int64_t atMs)
    {
        model.take("gc6890/" + name + "/" + leaf, payload, atMs);
    }
    void sendStatus(const std::string& name, json changes, std::int64_t atMs)
    {
        send(name, "status", status(std::move(changes)).dump(), atMs);
    }
    // "gc2 line_down, gc1 error": the alerts' instruments and kinds in their order.
    std::string alerts(std::int64_t atMs)
    {
        std::string out;
        for (const json& alert : model.alerts(atMs))
            out += (out.empty() ? "" : ", ") + alert.value("instrument", "") + " " +
                   alert.value("kind", "");
        return out;
    }
    json instrument(const std::string& name, std::int64_t atMs)
    {
        const json lab = model.toJson(atMs);
        for (const json& one : lab["instruments"])
            if (one["name"] == name)
                return one;
        return json();
    }

    LabModel model{LabOptions{.notReadyAlertMs = kNotReadyMs, .maxInstruments = 3}};
};

TEST_F(LabModelTest, EachConditionIsAnAlertWhileItLastsNewestFirst)
{
    for (const char* name : {"gc1", "gc2"}) {
        send(name, "online", "true", kStart);
        sendStatus(name, {}, kStart);
    }
    EXPECT_EQ(alerts(kStart), "");

    sendStatus("gc1", {{"error", true}, {"error_text", "Oven shut off"}}, kStart + 1000);
    sendStatus("gc2", {{"line", "down"}, {"line_reason", "no answer from the GC"}}, kStart + 2000);
    sendStatus("gc1",
               {{"error", true},
                {"error_text", "Oven shut off"},
                {"sequence",
                 {{"id", "s7"}, {"state", "paused"}, {"reason", "vial 5 missing"}, {"row", 3}}}},
               kStart + 3000);
    EXPECT_EQ(alerts(kStart + 3000), "gc1 sequence_paused, gc2 line_down, gc1 error");
    const json all = model.alerts(kStart + 3000);
    EXPECT_EQ(all[0]["text"], "the sequence s7 is paused: vial 5 missing");
    EXPECT_EQ(all[1]["text"], "the line is down: no answer from the GC");
    EXPECT_EQ(all[1]["time_ms"], kStart + 2000);
    EXPECT_EQ(all[2]["text"], "error: Oven shut off");
    // A status repeated (every 10 s) keeps the alert's time.
    sendStatus("gc2", {{"line", "down"}}, kStart + 12000);
    EXPECT_EQ(model.alerts(kStart + 12000)[1]["time_ms"], kStart + 2000);
    sendStatus("gc2", {}, kStart + 13000);
    EXPECT_EQ(alerts(kStart + 13000), "gc1 sequence_paused, gc1 error");

    // Not ready is an alert once it has lasted the threshold, not a millisecond before.
    sendStatus("gc1", {{"not_ready", true}, {"not_ready_text", "Oven temp"}}, kStart + 20000);
    EXPECT_EQ(alerts(kStart + 20000 + kNotReadyMs - 1), "");
    EXPECT_EQ(alerts(kStart + 20000 + kNotReadyMs), "gc1 not_ready");
    EXPECT_EQ(model.alerts(kStart + 20000 + 3 * kNotReadyMs)[0]["text"],
              "not ready for 3 min: Oven temp");

    // Killed: the last will says offline, and nothing else is known of it; back, the
    // conditions its status shows are alerts again, from when they are seen again.
    send("gc1", "online", "false", kStart + 31000);
    EXPECT_EQ(alerts(kStart + 31000), "gc1 offline");
    EXPECT_EQ(instrument("gc1", kStart + 31000)["online"], false);
    send("gc1", "online", "true", kStart + 40000);
    sendStatus("gc1", {{"error", true}}, kStart + 40000);
    EXPECT_EQ(alerts(kStart + 40000), "gc1 error");
    sendStatus("gc1", {}, kStart + 41000);
    EXPECT_EQ(alerts(kStart + 41000), "");
}

TEST_F(LabModelTest, ShowsTheInstrumentsWorkAgeAndOvenFromItsRetainedTopics)
{
    // As a lab page started late gets them: status first, then identity and online.
    sendStatus("gc1",
               {{"run_state", "run"},
                {"elapsed_min", 1.5},
                {"run_length_min", 6.0},
                {"method", "short"},
                {"vial", 4},
                {"age_ms", 300}},
               kStart);
    send("gc1", "identity", R"({"name":"gc1","url":"https://gc1.lab/"})", kStart);
    send("gc1", "online", "true", kStart);
    const json gc1 = instrument("gc1", kStart + 2000);
    EXPECT_EQ(gc1["online"], true);
    EXPECT_EQ(gc1["age_ms"], 2300);
    EXPECT_EQ(gc1["progress"], 0.25);
    EXPECT_EQ(gc1["time_left_min"], 4.5);
    EXPECT_EQ(gc1["method"], "short");
    EXPECT_EQ(gc1["vial"], 4);
    EXPECT_EQ(gc1["url"], "https://gc1.lab/");

    // The oven's last hour, bounded: a status every 5 s for two hours keeps about one sample
    // per 10 s of the last hour.
    for (std::int64_t t = 0; t <= 7200'000; t += 5000)
        sendStatus("gc1", {{"oven_temperature", 50.0 + static_cast<double>(t % 7000)}}, kStart + t);
    const json oven = instrument("gc1", kStart + 7200'000)["oven"];
    EXPECT_GE(oven.size(), 359U);
    EXPECT_LE(oven.size(), 362U);
    EXPECT_GE(oven.front()[0].get<std::int64_t>(), kStart + 3600'000);

    // What is not the lab's is ignored and counted; an instrument's cleared topics forget it;
    // names beyond the bound are not followed.
    const std::uint64_t before = model.ignored();
    model.take("gc6890/gc1/status", "{not json", kStart);
    model.take("gc6890/gc1/online", "yes", kStart);
    model.take("other/gc1/status", "{}", kStart);
    model.take("gc6890/gc1/cmd/run", "{}", kStart);
    EXPECT_EQ(model.ignored(), before + 4);
    send("gc2", "online", "true", kStart);
    send("gc3", "online", "true", kStart);
    send("gc4", "online", "true", kStart);
    EXPECT_EQ(model.ignored(), before + 5);
    send("gc3", "online", "", kStart);
    EXPECT_EQ(instrument("gc3", kStart), nullptr);
    send("gc4", "online", "true", kStart);
    EXPECT_EQ(instrument("gc4", kStart)["online"], true);
}

// The page's side of the event stream (lab/web/lab.js merge()), to check that an event
// carries exactly what changed and that the page, merging it, has the lab as GET shows it.
class PageCopy {
public:
    // The names of the instruments the event carried.
    std::string take(const json& event)
    {
        if (event["full"] == true)
            instruments_.clear();
        std::string carried;
        for (json one : event["instruments"]) {
            const std::string name = one["name"];
            carried += (carried.empty() ? "" : " ") + name;
            if (!one["oven_after"].is_null()) {
                json oven = json::array();
                for (const json& sample : instruments_[name]["oven"])
                    if (sample[0] <= one["oven_after"])
                        oven.push_back(sample);
                for (const json& sample : one["oven"])
                    oven.push_back(sample);
                one["oven"] = oven;
            }
            one.erase("oven_after");
            instruments_[name] = one;
        }
        std::erase_if(instruments_, [&](const auto& entry) {
            return std::find(event["names"].begin(), event["names"].end(), entry.first) ==
                   event["names"].end();
        });
        return carried;
    }
    // Its instruments as GET /api/v1/lab's, but for the ages (the page adds the time since).
    json instruments() const
    {
        json out = json::array();
        for (const auto& [name, one] : instruments_)
            out.push_back(one);
        return withoutAges(out);
    }
    static json withoutAges(json instruments)
    {
        for (json& one : instruments)
            one.erase("age_ms");
        return instruments;
    }

private:
    std::map<std::string, json> instruments_;
};

TEST_F(LabModelTest, AnEventCarriesTheInstrumentsThatChangedAndThePageHasTheWholeLab)
{
    PageCopy page;
    std::uint64_t seen = 0;
    std::int64_t now = kStart;
    // The event a page gets at `now` (its stream's `seen` moving on), and the page checked
    // against the whole lab.
    const auto event = [&] {
        const json changes = model.changesSince(seen, now, seen);
        const std::string carried = page.take(changes);
        EXPECT_EQ(page.instruments(), PageCopy::withoutAges(model.toJson(now)["instruments"]))
            << "at +" << now - kStart << " ms";
        return carried;
    };
    model.setBrokerConnected(true, now);
    for (const char* name : {"gc1", "gc2", "gc3"}) {
        send(name, "online", "true", now);
        sendStatus(name, {}, now);
    }
    EXPECT_EQ(event(), "gc1 gc2 gc3");
    EXPECT_EQ(model.changesSince(0, now, seen)["full"], true);
    EXPECT_EQ(event(), "");

    // A status every 3 s for a minute: the oven's samples are appended, and the newest of
    // a step rewritten, between two events as well as across them.
    for (int i = 1; i <= 20; ++i) {
        now += 3000;
        sendStatus("gc2", {{"oven_temperature", 50.0 + i}}, now);
        if (i % 3 == 0)
            sendStatus("gc1", {{"oven_temperature", 60.0 + i}}, now);
        if (i % 2 == 0) {
            EXPECT_EQ(event(), i % 3 == 0 || i % 3 == 1 ? "gc1 gc2" : "gc2") << "status " << i;
        }
    }
    send("gc3", "identity", R"({"url":"https://gc3.lab/"})", now);
    EXPECT_EQ(event(), "gc3");

    // Cleared from the broker: gone from the page. A broker restarted without its retained
    // topics: an instrument that publishes again is online; one unheard (its last will lost
    // with the broker) is offline once the others have had time to come back, not before.
    send("gc3", "online", "", now);
    EXPECT_EQ(event(), "");
    model.setBrokerConnected(false, now);
    EXPECT_EQ(model.toJson(now)["broker"]["connected"], false);
    const std::int64_t back = now += 1000;
    model.setBrokerConnected(true, back);
    sendStatus("gc1", {}, now += 1000);
    EXPECT_EQ(event(), "gc1");
    const std::int64_t grace = LabOptions{}.unheardAfterReconnectMs;
    EXPECT_EQ(alerts(back + grace - 1), "");
    now = back + grace;
    EXPECT_EQ(event(), "gc2");
    EXPECT_EQ(alerts(now), "gc2 offline");
    EXPECT_EQ(model.alerts(now)[0]["time_ms"], now);
    send("gc2", "online", "true", now += 1000);
    EXPECT_EQ(alerts(now), "");
}

}  // namespace
}  // namespace gc6890::lab
