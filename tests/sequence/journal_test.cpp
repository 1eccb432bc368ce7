#include <fstream>
#include <gtest/gtest.h>

#include "sequence/journal.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

std::vector<JournalEntry> everyStep()
{
    JournalEntry started{.kind = StepKind::SequenceStarted, .timeMs = 1000};
    started.runId = "20261206T031500Z-01";
    started.file = "/lab/tray.toml";
    started.content = "name = \"t\"\n[[row]]\nvial = 1\nmethod = \"m\"\n";
    started.methods = MethodSource::Files;
    // Every kind once; each field of an entry on at least one of them.
    using K = StepKind;
    return {
        started,
        {.kind = K::RowStarted, .timeMs = 1001, .row = 1},
        {.kind = K::MethodLoaded, .timeMs = 1002, .row = 1, .method = "m", .methodSha256 = "3f2c"},
        {.kind = K::AboutToInject, .timeMs = 1003, .row = 1, .injection = 1, .vial = 1},
        {.kind = K::Injected, .row = 1, .injection = 1, .vial = 1, .text = "accepted"},
        {.kind = K::InjectionRefused, .row = 1, .injection = 2, .vial = 1, .text = "no vial"},
        {.kind = K::RunEnded, .timeMs = 1006, .row = 1, .injection = 1},
        {.kind = K::RecordWritten, .row = 1, .injection = 1, .path = "/r/001-1-a"},
        {.kind = K::Paused, .timeMs = 1008, .text = "stop"},
        {.kind = K::Resumed, .timeMs = 1009},
        {.kind = K::RowSkipped, .timeMs = 1010, .row = 2, .text = "vial missing"},
        {.kind = K::Aborted, .timeMs = 1011, .text = "operator"},
        {.kind = K::Finished, .timeMs = 1012},
    };
}

std::string linesOf(const std::vector<JournalEntry>& entries)
{
    std::string text;
    for (const JournalEntry& entry : entries)
        text += journalLine(entry);
    return text;
}

TEST(Journal, EveryStepReadsBackAsWritten)
{
    const std::string text = linesOf(everyStep());
    JournalContent content;
    std::string error;
    ASSERT_TRUE(parseJournal(text, "j", content, error)) << error;
    EXPECT_FALSE(content.torn);
    ASSERT_EQ(content.entries.size(), everyStep().size());
    EXPECT_EQ(linesOf(content.entries), text);
    EXPECT_EQ(content.entries[0].methods, MethodSource::Files);
    EXPECT_EQ(content.entries[7].path, "/r/001-1-a");
    EXPECT_EQ(content.entries[2].methodSha256, "3f2c");
}

TEST(Journal, TornLastLineIsLeftOutAndReported)
{
    const std::string whole = linesOf(everyStep());
    const std::string next =
        journalLine({.kind = StepKind::AboutToInject, .row = 2, .injection = 1});
    const struct {
        std::string tail;  // after the whole entries
        bool torn;
    } cases[] = {
        {.tail = next.substr(0, 20), .torn = true},               // cut mid-line
        {.tail = next.substr(0, next.size() - 1), .torn = true},  // whole JSON, no newline
        {.tail = std::string("\0\0\0\n", 4), .torn = true},       // garbage, then a newline
        {.tail = "", .torn = false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.tail));
        JournalContent content;
        std::string error;
        ASSERT_TRUE(parseJournal(whole + c.tail, "j", content, error)) << error;
        EXPECT_EQ(content.torn, c.torn);
        EXPECT_EQ(content.entries.size(), everyStep().size());
        EXPECT_EQ(content.tornOffset, c.torn ? whole.size() : 0);
    }
    // A bad line that is not the last is damage, not a kill: refused, naming the line.
    JournalContent content;
    std::string error;
    EXPECT_FALSE(parseJournal(journalLine(everyStep()[0]) + "{\n" + journalLine(everyStep()[1]),
                              "j", content, error));
    EXPECT_EQ(error.substr(0, 24), "j:2: not a journal entry");
}

TEST(Journal, WriterMakesOneFilePerRunAndRepairsATornTail)
{
    test::TempHome home;
    const std::string folder = home.path() + "/sequences";
    std::string error;
    std::unique_ptr<JournalWriter> first = JournalWriter::create(folder, 1796528100000, error);
    ASSERT_TRUE(first) << error;
    std::unique_ptr<JournalWriter> second = JournalWriter::create(folder, 1796528100999, error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(first->runId(), "20261206T033500Z-01");
    EXPECT_EQ(second->runId(), "20261206T033500Z-02");
    EXPECT_EQ(journalRunIds(folder), (std::vector<std::string>{first->runId(), second->runId()}));

    const std::vector<JournalEntry> steps = everyStep();
    ASSERT_TRUE(first->append(steps[0], error)) << error;
    ASSERT_TRUE(first->append(steps[1], error)) << error;
    first.reset();
    // A kill during the third write.
    std::ofstream(journalPath(folder, "20261206T033500Z-01"), std::ios::app)
        << journalLine(steps[2]).substr(0, 15);

    std::unique_ptr<JournalWriter> again =
        JournalWriter::reopen(journalPath(folder, "20261206T033500Z-01"), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->runId(), "20261206T033500Z-01");
    ASSERT_TRUE(again->append(steps[3], error)) << error;
    JournalContent content;
    ASSERT_TRUE(readJournal(again->path(), content, error)) << error;
    EXPECT_FALSE(content.torn);
    EXPECT_EQ(linesOf(content.entries), linesOf({steps[0], steps[1], steps[3]}));
}

}  // namespace
}  // namespace gc6890
