// The sequence file reader on any text: nothing throws, a refusal names the file and says
// where and why, and a sequence accepted keeps every limit docs/sequence-format.md gives,
// so that what the runner starts from (its plan and the JSON the service serves) is sound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.h"
#include "platform/utf8_text.h"
#include "sequence/injection_limits.h"
#include "sequence/recovery_plan.h"
#include "sequence/sequence_file.h"
#include "sequence/sequence_runner.h"

namespace {

using gc6890::fuzz::check;

// Text of 1 to `maxCharacters` UTF-8 characters on one line.
bool oneLine(const std::string& text, std::size_t maxCharacters)
{
    return !text.empty() && gc6890::utf8Characters(text) <= maxCharacters &&
           text.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    gc6890::Sequence sequence;
    gc6890::SequenceFileError error;
    if (!gc6890::parseSequence(text, "tray.toml", sequence, error)) {
        check(error.file == "tray.toml" && !error.problem.empty() && error.line >= 0);
        check(error.text().starts_with("tray.toml"));
        return 0;
    }
    check(oneLine(sequence.name, gc6890::kMaxSequenceNameLength));
    check(!sequence.rows.empty() &&
          sequence.rows.size() <= static_cast<std::size_t>(gc6890::kMaxSequenceRows));
    for (const gc6890::SequenceRow& row : sequence.rows) {
        check(row.line >= 1 && row.vial >= gc6890::kVialMin && row.vial <= gc6890::kVialMax);
        check(row.volume >= gc6890::kVolumeMin && row.volume <= gc6890::kVolumeMax);
        check(row.injections >= 1 && row.injections <= gc6890::kMaxInjectionsPerVial);
        check(oneLine(row.method, 4096) && oneLine(row.sample, gc6890::kMaxSampleNameLength));
    }

    gc6890::JournalEntry started;
    started.runId = "20261208T120000Z-01";
    started.file = "tray.toml";
    started.content = std::string(text);
    const gc6890::RecoveryPlan plan = gc6890::startPlan(started, sequence);
    check(plan.ok && plan.next == gc6890::NextAction::Inject && plan.nextRow == 1);
    // The journal's first line reads back into the same plan.
    gc6890::JournalContent content;
    std::string journalError;
    check(gc6890::parseJournal(gc6890::journalLine(started), "run.journal", content, journalError));
    check(gc6890::sequenceJson(gc6890::planRecovery(content.entries)) ==
          gc6890::sequenceJson(plan));
    return 0;
}
