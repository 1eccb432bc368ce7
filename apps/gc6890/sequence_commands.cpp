// gc6890 sequence check | status | pause | resume | abort: sequence files, the journals of
// their runs, and a service's sequence.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli_error.h"
#include "command_table.h"
#include "method_files.h"
#include "sequence/recovery_plan.h"
#include "sequence/sequence_file.h"
#include "service_client.h"

namespace gc6890::cli {

namespace {

int checkSequence(const std::string& file)
{
    Sequence sequence;
    std::string text;
    SequenceFileError error;
    if (!readSequenceFile(file, sequence, text, error))
        throw CommandFailure(kExitBadInput, error.text());
    // Every method the rows name, each read once, in the order the rows name them.
    std::vector<std::pair<std::string, double>> methods;
    int injections = 0;
    for (std::size_t i = 0; i < sequence.rows.size(); ++i) {
        const SequenceRow& row = sequence.rows[i];
        injections += row.injections;
        const std::string methodFile = sequenceMethodFile(file, row.method);
        if (std::any_of(methods.begin(), methods.end(),
                        [&](const auto& method) { return method.first == methodFile; }))
            continue;
        try {
            methods.emplace_back(methodFile, loadMethodFile(methodFile).gc.GetRunLength());
        } catch (const CommandFailure& failure) {
            throw CommandFailure(failure.code(),
                                 rowMethodError(file, row, i + 1, failure.what()).text());
        }
    }
    std::printf("%s: ok, \"%s\": %zu rows, %d injections, on error %s\n", file.c_str(),
                sequence.name.c_str(), sequence.rows.size(), injections,
                errorRuleName(sequence.onError));
    for (const auto& [methodFile, length] : methods)
        std::printf("  %s: run length %.2f min\n", methodFile.c_str(), length);
    return kExitOk;
}

// The journal a RUN argument names: a journal file, a run id, or (empty) the newest run.
std::string journalOf(const std::string& run)
{
    if (run.ends_with(".journal"))
        return run;
    const std::string folder = journalFolder();
    if (!run.empty())
        return journalPath(folder, run);
    const std::vector<std::string> ids = journalRunIds(folder);
    if (ids.empty())
        throw CommandFailure(kExitBadInput, "sequence status: no sequence has run here (" + folder +
                                                " holds no journal)");
    return journalPath(folder, ids.back());
}

std::string whereItGoesOn(const RecoveryPlan& plan)
{
    if (plan.next == NextAction::None)
        return plan.outcome == RunOutcome::Running ? "every injection is done" : "nothing left";
    std::string text = "goes on at row " + std::to_string(plan.nextRow) + ", injection " +
                       std::to_string(plan.nextInjection) + ": ";
    switch (plan.next) {
    case NextAction::Inject:
        return text + "inject (the method is loaded again first)";
    case NextAction::Resolve:
        return text + "ask the GC and the sampler whether the vial was injected";
    case NextAction::FollowRun:
        return text + "follow its run, then write the record";
    case NextAction::WriteRecord:
        return text + "write the record of its run";
    case NextAction::None:
        break;
    }
    return text;
}

int showStatus(const std::string& run)
{
    const std::string path = journalOf(run);
    JournalContent content;
    std::string error;
    if (!readJournal(path, content, error))
        throw CommandFailure(kExitFailed, "sequence status: " + error);
    const RecoveryPlan plan = planRecovery(content.entries);
    if (!plan.ok)
        throw CommandFailure(kExitFailed, "sequence status: " + path + ": " + plan.error);
    std::printf("run %s: \"%s\" (%s), %s%s%s\n", plan.runId.c_str(), plan.sequence.name.c_str(),
                plan.file.c_str(), runOutcomeName(plan.outcome), plan.reason.empty() ? "" : ": ",
                plan.reason.c_str());
    if (content.torn)
        std::printf("the journal's last line was cut short (stopped while it was written) and "
                    "is left out\n");
    std::printf("%-4s %-4s %-6s %-20s %-15s %s\n", "row", "inj", "vial", "sample", "state",
                "results");
    for (const InjectionProgress& p : plan.injections)
        std::printf("%-4d %-4d %-6d %-20s %-15s %s\n", p.row, p.injection, p.vial, p.sample.c_str(),
                    injectionStateName(p.state), p.record.c_str());
    std::printf("%s\n", whereItGoesOn(plan).c_str());
    return kExitOk;
}

}  // namespace

void addSequenceCommands(CommandTable& table)
{
    CLI::App* sequence =
        table.group("sequence", "Check and run sequence files; show how a run stands");
    addSequenceRunCommand(*sequence, table);
    const GlobalOptions* globals = &table.globals();

    CLI::App* check = sequence->add_subcommand(
        "check", "Read and check a sequence file and every method it names");
    auto file = std::make_shared<std::string>();
    check->add_option("FILE", *file, "Sequence file")->required();
    table.add(check, [file] { return checkSequence(*file); });

    CLI::App* status = sequence->add_subcommand(
        "status", "Show each row's state: through the service, else from a run's journal "
                  "(default: the newest run)");
    auto run = std::make_shared<std::string>();
    status->add_option("RUN", *run, "Run id, or a journal file");
    table.add(status, [run, globals] {
        if (auto client = chosenService(*globals))
            return sequenceStatusViaService(*client, *run);
        return showStatus(*run);
    });

    // A sequence on the line belongs to the one program running it (Ctrl-C pauses it, the
    // same `sequence run` goes on), so these three need a service.
    for (const char* action : {"pause", "resume", "abort"}) {
        CLI::App* control =
            sequence->add_subcommand(action, std::string("Through the service: ") + action +
                                                 " its sequence (default: the latest)");
        auto id = std::make_shared<std::string>();
        auto skipRow = std::make_shared<bool>(false);
        control->add_option("ID", *id, "Sequence id");
        if (std::string(action) == "resume")
            control->add_flag("--skip-row", *skipRow, "Skip the row it paused on");
        table.add(control, [action, id, skipRow, globals] {
            auto client = chosenService(*globals);
            if (!client)
                throw CommandFailure(kExitBadInput,
                                     std::string("sequence ") + action +
                                         ": needs a service (--service URL or the Service "
                                         "setting); a sequence on the line pauses with Ctrl-C "
                                         "and goes on with `gc6890 sequence run FILE`");
            return sequenceControlViaService(*client, action, *id, *skipRow);
        });
    }
}

}  // namespace gc6890::cli
