#include <gtest/gtest.h>

#include "sequence/recovery_plan.h"

namespace gc6890 {
namespace {

// Two rows: vial 1 injected twice, then vial 5 once.
const JournalEntry started{.kind = StepKind::SequenceStarted,
                           .runId = "r",
                           .file = "tray.toml",
                           .content = "name = \"tray\"\n[[row]]\nvial = 1\nmethod = \"a\"\n"
                                      "injections = 2\nsample = \"blank\"\n"
                                      "[[row]]\nvial = 5\nmethod = \"b\"\n"};

JournalEntry step(StepKind kind, int row = 0, int injection = 0, std::string text = "")
{
    return {.kind = kind, .row = row, .injection = injection, .text = text, .path = text};
}

// The plan in one line: "next-action row.injection outcome | state of each injection, ...".
std::string summary(const RecoveryPlan& plan)
{
    std::string text = nextActionName(plan.next) + (" " + std::to_string(plan.nextRow)) + "." +
                       std::to_string(plan.nextInjection) + " " + runOutcomeName(plan.outcome);
    const char* separator = " | ";
    for (const InjectionProgress& progress : plan.injections) {
        text += separator + std::string(injectionStateName(progress.state));
        separator = ", ";
    }
    return text;
}

// (A kill at each step of one injection, the plan read back and followed, is the runner's
// restart table in sequence_runner_test.cpp.)
TEST(RecoveryPlan, EveryKillPointGoesOnWithoutInjectingTwice)
{
    using K = StepKind;
    const JournalEntry about = step(K::AboutToInject, 1, 1);
    const JournalEntry injected = step(K::Injected, 1, 1, "accepted");
    const JournalEntry recorded = step(K::RecordWritten, 1, 1, "/results/1");
    const struct {
        std::vector<JournalEntry> steps;
        std::string plan;
    } cases[] = {
        // An injected vial is never made injectable again.
        {.steps = {about, injected, about, step(K::InjectionRefused, 1, 1), step(K::RowSkipped, 1),
                   step(K::Resumed)},
         .plan = "inject 2.1 running | injected, skipped, not started"},
        // Refused and paused.
        {.steps = {about, step(K::InjectionRefused, 1, 1, "vial missing"),
                   step(K::Paused, 0, 0, "vial 1 missing")},
         .plan = "inject 1.1 paused | refused, not started, not started"},
        // Uncertain, then resumed by the operator.
        {.steps = {about, step(K::Paused, 0, 0, "check vial 1"), step(K::Resumed)},
         .plan = "inject 1.1 running | not started, not started, not started"},
        // Every injection recorded, not yet finished.
        {.steps = {recorded, step(K::RecordWritten, 1, 2), step(K::RecordWritten, 2, 1)},
         .plan = "none 0.0 running | record written, record written, record written"},
        {.steps = {about, step(K::Aborted, 0, 0, "operator")},
         .plan = "none 0.0 aborted | uncertain, not started, not started"},
        {.steps = {step(K::RowSkipped, 1), step(K::RecordWritten, 2, 1), step(K::Finished)},
         .plan = "none 0.0 finished | skipped, skipped, record written"},
    };
    for (const auto& c : cases) {
        std::vector<JournalEntry> entries{started};
        entries.insert(entries.end(), c.steps.begin(), c.steps.end());
        const RecoveryPlan plan = planRecovery(entries);
        ASSERT_TRUE(plan.ok) << c.plan << ": " << plan.error;
        EXPECT_EQ(summary(plan), c.plan);
        EXPECT_TRUE(plan.reloadMethod) << c.plan;
        // The runner's way, entry by entry from the file read once, comes to the same plan.
        RecoveryPlan stepped = startPlan(started, plan.sequence);
        for (const JournalEntry& entry : c.steps)
            advancePlan(stepped, entry);
        EXPECT_EQ(summary(stepped), c.plan);
    }
}

TEST(RecoveryPlan, TellsTheOperatorWhatToCheckAndKeepsTheRecords)
{
    RecoveryPlan plan = planRecovery({started, step(StepKind::RecordWritten, 1, 1, "/results/1"),
                                      step(StepKind::AboutToInject, 1, 2)});
    ASSERT_TRUE(plan.ok) << plan.error;
    EXPECT_EQ(plan.injections[0].record, "/results/1");
    const std::string message = uncertainInjectionMessage(plan);
    EXPECT_NE(message.find("row 1, injection 2 (vial 1, blank)"), std::string::npos) << message;
    EXPECT_NE(message.find("Check whether vial 1 was injected"), std::string::npos) << message;

    EXPECT_FALSE(planRecovery({step(StepKind::RowStarted, 1)}).ok);
    JournalEntry bad = started;
    bad.content = "name = 3";
    plan = planRecovery({bad});
    EXPECT_FALSE(plan.ok);
    EXPECT_EQ(plan.error, "tray.toml:1: name: expected a string, found integer");
}

}  // namespace
}  // namespace gc6890
