// The sequence journal reader on any text, as a kill, a full disk or a hand may leave a
// journal: nothing throws, a bad line other than the last is refused with the file and its
// line, a bad last line is torn off whole, each entry read writes back as the same line,
// and the plan the runner keeps by moving it on entry by entry is the plan a restart reads
// from the whole journal.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.h"
#include "sequence/journal.h"
#include "sequence/recovery_plan.h"
#include "sequence/sequence_runner.h"

using gc6890::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    gc6890::JournalContent content;
    std::string error;
    if (!gc6890::parseJournal(text, "run.journal", content, error)) {
        check(error.starts_with("run.journal:"));
        return 0;
    }
    if (content.torn) {
        const std::size_t end = content.tornOffset + content.tornText.size();
        check(end == size || (end + 1 == size && text.back() == '\n'));
    }
    for (const gc6890::JournalEntry& entry : content.entries) {
        gc6890::JournalContent again;
        check(gc6890::parseJournal(gc6890::journalLine(entry), "again", again, error));
        check(again.entries.size() == 1 && !again.torn);
        check(gc6890::journalJson(again.entries[0]) == gc6890::journalJson(entry));
    }

    const gc6890::RecoveryPlan whole = gc6890::planRecovery(content.entries);
    gc6890::uncertainInjectionMessage(whole);
    const auto started = std::find_if(
        content.entries.begin(), content.entries.end(),
        [](const gc6890::JournalEntry& e) { return e.kind == gc6890::StepKind::SequenceStarted; });
    if (!whole.ok) {
        check(!whole.error.empty());
        return 0;
    }
    gc6890::Sequence sequence;
    gc6890::SequenceFileError fileError;
    check(gc6890::parseSequence(started->content, started->file, sequence, fileError));
    gc6890::RecoveryPlan stepwise = gc6890::startPlan(*started, sequence);
    for (auto entry = started + 1; entry != content.entries.end(); ++entry)
        gc6890::advancePlan(stepwise, *entry);
    check(gc6890::sequenceJson(stepwise) == gc6890::sequenceJson(whole));
    check(stepwise.reloadMethod == whole.reloadMethod);
    return 0;
}
