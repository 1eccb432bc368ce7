// The sequence runner in process, against a fake instrument and clock: every step, each
// error rule, pause, resume, abort and stop, and a restart from each state of the recovery
// table. At every step the state the runner shows must be the state its journal on disk
// gives, since that is what a restart finds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fake_instrument.h"
#include "sequence/sequence_runner.h"
#include "support/sequence_text.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

using nlohmann::json;
using test::Killed;
using ::testing::HasSubstr;

using test::sequenceText;

class SequenceRunnerTest : public ::testing::Test {
protected:
    // A new runner on the same instrument, journal folder and clock (as after a restart).
    void make()
    {
        runner = std::make_unique<SequenceRunner>(
            instrument,
            [this](const json& e) {
                events.push_back(e);
                if (stepOf(e) == killAt)
                    throw Killed{};
            },
            clock);
    }
    void start(const std::string& text)
    {
        make();
        Sequence sequence;
        SequenceFileError fileError;
        ASSERT_TRUE(parseSequence(text, "tray.toml", sequence, fileError)) << fileError.text();
        std::string error;
        ASSERT_TRUE(runner->start(journalFolder(), "tray.toml", text, sequence,
                                  MethodSource::Stored, error))
            << error;
    }
    // Goes on with the journal after a kill.
    void restart()
    {
        const std::string id = runner->runId();
        killAt.clear();
        killed = false;
        make();
        std::string error;
        ASSERT_TRUE(runner->recover(journalPath(journalFolder(), id), error)) << error;
    }
    // Polls and steps until the runner has nothing to do (or is killed), checking its
    // state against its journal after each step.
    void run(int maxPolls = 400)
    {
        for (int i = 0; i < maxPolls && runner->running() && !killed; ++i) {
            instrument.poll();
            clock.nowMs += msPerPoll;
            act([this] { runner->step(); });
            if (!killed)
                expectJournalAgrees();
        }
    }
    // Does `what` to the runner: its mark moves exactly when its state does, so that the
    // service publishes every change and nothing else.
    void act(const std::function<void()>& what)
    {
        const json before = runner->json();
        const SequenceRunner::Mark mark = runner->mark();
        try {
            what();
        } catch (const Killed&) {
            killed = true;
            return;
        }
        EXPECT_EQ(runner->mark() != mark, runner->json() != before) << before.dump();
    }
    void expectJournalAgrees()
    {
        JournalContent content;
        std::string error;
        ASSERT_TRUE(readJournal(journalPath(journalFolder(), runner->runId()), content, error));
        json live = runner->json();
        live.erase("current");
        if (live["state"] == "pausing" || live["state"] == "aborting")
            live["state"] = "running";
        ASSERT_EQ(live, sequenceJson(planRecovery(content.entries)));
    }
    // "record written 2", "finished"
    static std::string stepOf(const json& e)
    {
        const int row = e.value("row", 0);
        return e.value("step", "") + (row > 0 ? " " + std::to_string(row) : "");
    }
    std::vector<std::string> steps() const
    {
        std::vector<std::string> all;
        for (const json& e : events)
            all.push_back(stepOf(e));
        return all;
    }
    std::string rowStates() const { return test::rowStates(runner->json()); }
    std::string state() const { return runner->json().value("state", ""); }
    // The row and step under way ({} when none).
    json current() const
    {
        const json current = runner->json()["current"];
        return current.is_object() ? current : json::object();
    }
    std::string reason() const { return runner->json().value("reason", ""); }

    test::TempHome home;
    test::FakeInstrument instrument;
    test::FakeClock clock;
    std::int64_t msPerPoll = 1000;
    std::vector<json> events;
    std::string killAt;  // a step as stepOf gives it
    bool killed = false;
    std::unique_ptr<SequenceRunner> runner;
};

TEST_F(SequenceRunnerTest, TakesEveryRowThroughEveryStepInOrder)
{
    for (const bool late : {false, true}) {
        SCOPED_TRACE(late ? "late answer" : "answer at once");
        instrument = test::FakeInstrument{};
        instrument.lateAnswer = late;
        instrument.notReadyPolls = 4;  // two polls of the load, two of waiting
        events.clear();
        start(sequenceText("pause", {{1, "a"}, {2, "a", 2}, {3, "b"}}));
        run();
        ASSERT_EQ(state(), "finished") << reason();
        EXPECT_EQ(rowStates(), "done, done, done");
        // The method is loaded when it changes; the GC's readiness is awaited once, told once.
        EXPECT_EQ(instrument.log, (std::vector<std::string>{
                                      "load a", "inject 1", "record a", "inject 2", "record a",
                                      "inject 2", "record a", "load b", "inject 3", "record b"}));
        const char* const injection[] = {"about to inject", "injected", "run ended",
                                         "record written"};
        std::vector<std::string> expected = {"sequence started", "row started 1", "method loaded 1",
                                             "waiting 1"};
        auto add = [&](int row) {
            for (const char* step : injection)
                expected.push_back(step + (" " + std::to_string(row)));
        };
        add(1);
        expected.push_back("row started 2");
        add(2);
        add(2);
        expected.insert(expected.end(), {"row started 3", "method loaded 3"});
        add(3);
        expected.push_back("finished");
        EXPECT_EQ(steps(), expected);
        EXPECT_EQ(events[3].value("text", ""), "waiting for the GC to be ready: oven cooling");
        EXPECT_EQ(events[2].value("method_sha256", ""), "sha256 of a");
        // Each injection has its results folder with its own record and method's hash.
        const json sequence = runner->json();
        for (const json& row : sequence["rows"])
            for (const json& injection : row["injections"]) {
                const std::filesystem::path folder =
                    std::filesystem::relative(injection.value("record", ""), home.path());
                EXPECT_EQ(home.read(folder / "record.txt"),
                          "record of " + row.value("method", "") + "\n");
                EXPECT_EQ(json::parse(home.read(folder / "run.json")).value("method_sha256", ""),
                          "sha256 of " + row.value("method", ""));
            }
    }
}

TEST_F(SequenceRunnerTest, ARunNoPollSawEndsAtOnceUnlessTheAnswerOnlyEndedTheSamplersWait)
{
    // A run over between two polls: the sampler's answer says it was made, so the first
    // poll after the answer ends it, with a note (the history holds no run).
    for (const bool late : {false, true}) {
        SCOPED_TRACE(late ? "late answer" : "answer at once");
        instrument = test::FakeInstrument{};
        instrument.lateAnswer = late;
        instrument.runPolls = 0;
        events.clear();
        start(sequenceText("pause", {{1, "a"}, {2, "a"}}));
        run(12);
        ASSERT_EQ(state(), "finished") << reason();
        EXPECT_EQ(instrument.log, (std::vector<std::string>{"load a", "inject 1", "record a",
                                                            "inject 2", "record a"}));
        int runsEnded = 0;
        for (const json& e : events) {
            if (e.value("step", "") == "run ended") {
                ++runsEnded;
                EXPECT_EQ(e.value("text", ""),
                          "no poll saw the run: it was over within a poll period");
            }
        }
        EXPECT_EQ(runsEnded, 2);
    }

    // An answer 300 s after the injection ended only the sampler's own wait: a run must
    // be seen, until 330 s after the answer.
    for (const int answerPolls : {299, 300}) {
        SCOPED_TRACE(std::to_string(answerPolls) + " s to the answer");
        instrument = test::FakeInstrument{};
        instrument.lateAnswer = true;
        instrument.answerPolls = answerPolls;
        instrument.runPolls = 0;
        events.clear();
        start(sequenceText("pause", {{1, "a"}}));
        run(answerPolls + 10);
        if (answerPolls < 300) {
            EXPECT_EQ(state(), "finished");
            continue;
        }
        EXPECT_EQ(state(), "running");
        EXPECT_EQ(current().value("step_id", ""), "in_run");
        run(330);
        ASSERT_EQ(state(), "finished") << reason();
        EXPECT_EQ(events.at(events.size() - 3).value("text", ""),
                  "no run started within 330 s of the injection");
    }
}

TEST_F(SequenceRunnerTest, ARowThatFailsFollowsTheErrorRule)
{
    enum class Cause { RefusedAtOnce, RefusedLate, MethodNotLoaded, NeverReady };
    const struct {
        Cause cause;
        const char* rule;
        const char* state;
        const char* rows;
        const char* injected;
        const char* reason;  // part of it
    } cases[] = {
        {Cause::RefusedAtOnce, "pause", "paused", "done, refused, pending", "1",
         "row 2, vial 2: the sampler refused the injection: vial 2 missing"},
        {Cause::RefusedAtOnce, "skip", "finished", "done, skipped, done", "1 3", ""},
        {Cause::RefusedAtOnce, "abort", "aborted", "done, refused, pending", "1", "vial 2 missing"},
        {Cause::RefusedLate, "pause", "paused", "done, refused, pending", "1",
         "the sampler refused the injection: vial 2 not found in the tray"},
        {Cause::RefusedLate, "skip", "finished", "done, skipped, done", "1 3", ""},
        {Cause::RefusedLate, "abort", "aborted", "done, refused, pending", "1", "vial 2 not found"},
        {Cause::MethodNotLoaded, "pause", "paused", "done, pending, pending", "1",
         "row 2: the method b was not loaded: no method b"},
        {Cause::MethodNotLoaded, "skip", "finished", "done, skipped, done", "1 3", ""},
        {Cause::MethodNotLoaded, "abort", "aborted", "done, pending, pending", "1",
         "the method b was not loaded"},
        {Cause::NeverReady, "pause", "paused", "done, pending, pending", "1",
         "row 2: the GC was not ready within 30 min: oven cooling"},
        {Cause::NeverReady, "skip", "finished", "done, skipped, skipped", "1", ""},
        {Cause::NeverReady, "abort", "aborted", "done, pending, pending", "1",
         "not ready within 30 min"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rule) + " " + std::to_string(static_cast<int>(c.cause)));
        instrument = test::FakeInstrument{};
        instrument.missingVials = {c.cause == Cause::RefusedAtOnce ? 2 : 0};
        instrument.lateAnswer = c.cause == Cause::RefusedLate;
        instrument.lateRefusals = {c.cause == Cause::RefusedLate ? 2 : 0};
        instrument.badMethods = {c.cause == Cause::MethodNotLoaded ? "b" : ""};
        instrument.everReady = c.cause != Cause::NeverReady;
        msPerPoll = 60 * 1000;  // a minute a poll: the half-hour wait ends within the run
        start(sequenceText(c.rule, {{1, "a"}, {2, "b"}, {3, "a"}}));
        run();
        EXPECT_EQ(state(), c.state);
        EXPECT_EQ(rowStates(), c.rows);
        EXPECT_EQ(instrument.injected(), c.injected);
        EXPECT_THAT(reason(), HasSubstr(c.reason));
    }
}

TEST_F(SequenceRunnerTest, TheReadyWaitGivesUpOnlyPastHalfAnHourFromTheLoad)
{
    // A poll a minute; the wait starts with the method loaded on poll 2. Not ready last
    // seen at 30 min: still waiting, then injected; at 31 min: given up.
    for (const int lastNotReadyMin : {30, 31}) {
        SCOPED_TRACE(lastNotReadyMin);
        instrument = test::FakeInstrument{};
        instrument.notReadyPolls = lastNotReadyMin + 3;
        msPerPoll = 60 * 1000;
        start(sequenceText("abort", {{1, "a"}}));
        run();
        EXPECT_EQ(state(), lastNotReadyMin == 30 ? "finished" : "aborted") << reason();
    }
}

TEST_F(SequenceRunnerTest, PauseResumeStopAndAbortActWhereTheRunStands)
{
    start(sequenceText("pause", {{1, "a"}, {2, "a"}, {3, "a"}, {4, "a"}, {5, "a"}}));
    std::string error;
    EXPECT_FALSE(runner->resume(false, error));
    EXPECT_EQ(error, "the sequence is running, not paused");

    // Before an injection: paused at once, nothing injected.
    act([&] { runner->pause("operator"); });
    EXPECT_EQ(state(), "paused");
    run();
    EXPECT_EQ(instrument.injected(), "");
    act([&] { ASSERT_TRUE(runner->resume(false, error)) << error; });

    // During row 1's run: pausing, the run's record written, then paused.
    auto untilRunOf = [&](int row) {
        for (int i = 0; i < 50 && !(instrument.view().gcInRun && current().value("row", 0) == row);
             ++i) {
            instrument.poll();
            runner->step();
        }
        ASSERT_TRUE(instrument.view().gcInRun);
    };
    untilRunOf(1);
    act([&] { runner->pause("operator"); });
    EXPECT_EQ(state(), "pausing");
    run();
    EXPECT_EQ(state(), "paused");
    EXPECT_EQ(rowStates(), "done, pending, pending, pending, pending");
    ASSERT_TRUE(runner->resume(false, error)) << error;

    // A stop during row 2's run: its record written, paused.
    untilRunOf(2);
    instrument.stop();
    act([&] { runner->stopped(); });
    run();
    EXPECT_EQ(state(), "paused");
    EXPECT_EQ(reason(), "stopped by a stop request");
    EXPECT_EQ(rowStates(), "done, done, pending, pending, pending");

    // Resuming with the row skipped: row 3 is never injected.
    ASSERT_TRUE(runner->resume(true, error)) << error;
    // An abort during row 4's run stops it, writes its record, and row 5 is never injected.
    untilRunOf(4);
    act([&] { runner->abort("operator"); });
    EXPECT_EQ(state(), "aborting");
    run();
    EXPECT_EQ(state(), "aborted");
    EXPECT_EQ(rowStates(), "done, done, skipped, done, pending");
    EXPECT_EQ(instrument.injected(), "1 2 4");
    EXPECT_EQ(std::count(instrument.log.begin(), instrument.log.end(), "stop"), 2);
    EXPECT_FALSE(runner->active());
    EXPECT_FALSE(runner->resume(false, error));
}

TEST_F(SequenceRunnerTest, AStopWhileTheAnswerIsAwaitedAsksTheInstrument)
{
    // The sampler's late answer cut short by a stop: whether the syringe went in is asked
    // of the GC and the sampler, never guessed.
    instrument.lateAnswer = true;
    instrument.lateRefusals = {1};  // the stopped sampler's answer is a refusal
    start(sequenceText("pause", {{1, "a"}, {2, "a"}}));
    for (int i = 0; i < 20 && current().value("step_id", "") != "awaiting_answer"; ++i) {
        instrument.poll();
        runner->step();
    }
    runner->stopped();
    run();
    EXPECT_EQ(state(), "paused");
    EXPECT_THAT(reason(), HasSubstr("Check whether vial 1 was injected"));
    EXPECT_EQ(rowStates(), "uncertain, pending");
}

TEST_F(SequenceRunnerTest, ARestartGoesOnFromEachStateOfTheRecoveryTable)
{
    const struct {
        const char* killAt;  // a journal step of row 2, or the injection's sending
        const char* next;    // what the plan read back does first
        const char* state;   // after the restart, run as far as it goes
        const char* after;   // what the instrument was asked after the restart
    } cases[] = {
        {"method loaded 2", "inject", "finished",
         "load b, inject 2, record b, load a, inject 3, record a"},
        // Nothing reached the sampler: the operator is asked to check the vial.
        {"about to inject 2", "resolve", "paused", ""},
        // The sampler took it: found in its run, followed, never injected again.
        {"injection sent 2", "resolve", "finished", "record b, load a, inject 3, record a"},
        {"injected 2", "follow run", "finished", "record b, load a, inject 3, record a"},
        {"run ended 2", "write record", "finished", "record b, load a, inject 3, record a"},
        {"record written 2", "inject", "finished", "load a, inject 3, record a"},
        {"paused 2", "inject", "paused", ""},
        {"finished", "none", "finished", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.killAt);
        instrument = test::FakeInstrument{};
        instrument.runPolls = 5;
        killed = false;
        std::string kill = c.killAt;
        if (kill == "injection sent 2")
            instrument.killOnInjection = 2;
        else
            killAt = kill;
        start(sequenceText("pause", {{1, "a"}, {2, "b"}, {3, "a"}}));
        if (kill == "paused 2") {
            // Paused by the operator during row 2's run, then killed.
            killAt.clear();
            while (current().value("row", 0) != 2 || !instrument.view().gcInRun)
                run(1);
            runner->pause("operator");
            killAt = "paused 2";
        }
        run();
        ASSERT_TRUE(killed);
        instrument.log.clear();
        restart();
        EXPECT_EQ(runner->json()["next"].is_null() ? "none"
                                                   : runner->json()["next"].value("action", ""),
                  c.next);
        run();
        EXPECT_EQ(state(), c.state) << reason();
        std::string after;
        for (const std::string& entry : instrument.log)
            after += (after.empty() ? "" : ", ") + entry;
        EXPECT_EQ(after, c.after);
        // A run whose record is written after the restart names the method loaded before it.
        if (after.starts_with("record b")) {
            const std::filesystem::path folder = std::filesystem::relative(
                runner->json()["rows"][1]["injections"][0].value("record", ""), home.path());
            EXPECT_EQ(json::parse(home.read(folder / "run.json")).value("method_sha256", ""),
                      "sha256 of b");
        }
    }
}

}  // namespace
}  // namespace gc6890
