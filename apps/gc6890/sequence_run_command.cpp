// gc6890 sequence run: a tray run row by row, on the line by the program itself (methods
// as files) or by a service (--service, methods as stored names), and the sequence's
// state through a service. The same runner and journal serve both ways, so the output,
// the recovery and the exit codes are the same.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <utility>

#include "audit/sha256.h"
#include "cli_error.h"
#include "command_table.h"
#include "line_audit.h"
#include "line_instrument.h"
#include "method_files.h"
#include "sequence/journal.h"
#include "sequence/sequence_file.h"
#include "sequence/sequence_runner.h"
#include "service/safe_text.h"
#include "service_client.h"
#include "session.h"

namespace gc6890::cli {

namespace {

using nlohmann::json;

std::string where(const json& e)
{
    std::string text = "row " + std::to_string(e.value("row", 0));
    if (e.value("injection", 0) > 0)
        text += ", injection " + std::to_string(e.value("injection", 0));
    return text;
}

// One line per step: results on standard output, progress on standard error.
void tell(const json& e)
{
    const std::string step = e.value("step", "");
    const std::string text = e.value("text", "");
    const std::string tail = text.empty() ? "" : ": " + text;
    if (step == "record written")
        std::cout << where(e) << ": results in " << e.value("path", "") << std::endl;
    else if (step == "row started")
        std::cerr << where(e) << ": vial " << e.value("vial", 0) << '\n';
    else if (step == "method loaded")
        std::cerr << where(e) << ": method " << e.value("method", "") << " loaded\n";
    else if (step == "about to inject")
        std::cerr << where(e) << ": injecting from vial " << e.value("vial", 0) << '\n';
    else if (step == "injected" || step == "run ended" || step == "injection refused" ||
             step == "waiting" || step == "row skipped")
        std::cerr << where(e) << ": " << step << tail << '\n';
    else if (step != "sequence started")
        std::cerr << "sequence " << step << tail << '\n';
}

// The sequence's rows as a table, and how it ended as the exit code: 0 when every row is
// done, 1 when it paused, was aborted or skipped rows.
int summarise(const json& s, std::ostream& out)
{
    out << s.value("name", "") << " (" << s.value("id", "") << "): " << s.value("state", "");
    if (!s.value("reason", "").empty())
        out << ": " << s.value("reason", "");
    out << '\n';
    int done = 0;
    for (const json& row : s["rows"]) {
        out << "  row " << row.value("row", 0) << "  vial " << row.value("vial", 0) << "  "
            << row.value("method", "") << "  " << row.value("sample", "") << "  "
            << row.value("state", "") << '\n';
        done += row.value("state", "") == "done" ? 1 : 0;
        for (const json& injection : row["injections"])
            if (injection.contains("record"))
                out << "    " << injection.value("record", "") << '\n';
    }
    return s.value("state", "") == "finished" && done == static_cast<int>(s["rows"].size())
               ? kExitOk
               : kExitFailed;
}

int ending(const json& s, const std::string& again)
{
    const int code = summarise(s, std::cout);
    const std::string state = s.value("state", "");
    if (state == "paused")
        throw CommandFailure(kExitFailed,
                             "the sequence is paused: " + s.value("reason", "") + "; " + again);
    if (state == "aborted")
        throw CommandFailure(kExitFailed, "the sequence was aborted: " + s.value("reason", ""));
    if (code != kExitOk)
        throw CommandFailure(kExitFailed, "the sequence finished with rows not done");
    return code;
}

// The newest unfinished journal of `file` run on the line, "" for none.
std::string unfinishedJournal(const std::string& file)
{
    const std::optional<JournalledRun> run =
        newestRun(journalFolder(), MethodSource::Files,
                  [&](const RecoveryPlan& plan) { return plan.file == file; });
    if (!run ||
        (run->plan.outcome != RunOutcome::Running && run->plan.outcome != RunOutcome::Paused))
        return {};
    return run->path;
}

// The audit lines of a sequence's loads and injections on the line, from its journal's
// steps as they are told: "load" with the method's name and sha256, "run" with the vial and
// the SHA-256 of the method the GC was given, which the runner keeps from its journal (an
// injection told after a restart was loaded before it).
class LineRowAudit {
public:
    LineRowAudit(LineAudit& audit, const Sequence& sequence, std::string& error)
        : audit_(audit), sequence_(sequence), error_(error)
    {}

    void tell(const SequenceRunner& runner, const json& e)
    {
        const std::string step = e.value("step", "");
        const int row = e.value("row", 0);
        json params = {{"sequence", runner.runId()}, {"row", row}};
        if (step == "method loaded") {
            params.update(
                {{"method", e.value("method", "")}, {"sha256", e.value("method_sha256", "")}});
            write("load", params, "ok");
        } else if (step == "injected" || step == "injection refused") {
            const std::string method =
                row >= 1 && row <= static_cast<int>(sequence_.rows.size())
                    ? sequence_.rows[static_cast<std::size_t>(row) - 1].method
                    : std::string();
            params.update({{"injection", e.value("injection", 0)},
                           {"method", method},
                           {"sha256", runner.loadedMethodSha256()},
                           {"vial", e.value("vial", 0)}});
            write("run", params, step == "injected" ? "ok" : "refused: " + e.value("text", ""));
        }
    }

private:
    void write(const std::string& action, const json& params, const std::string& result)
    {
        std::string error;
        if (error_.empty() && !audit_.append(action, params, result, error))
            error_ = error;
    }

    LineAudit& audit_;
    const Sequence& sequence_;
    std::string& error_;
};

int runOnLine(const std::string& typed, bool skipRow)
{
    const std::string file = std::filesystem::absolute(typed).lexically_normal().string();
    Sequence sequence;
    std::string content, error;
    SequenceFileError fileError;
    if (!readSequenceFile(file, sequence, content, fileError))
        throw CommandFailure(kExitBadInput, fileError.text());
    // Every method is read before the line is used.
    for (std::size_t r = 0; r < sequence.rows.size(); ++r) {
        try {
            loadMethodFile(sequenceMethodFile(file, sequence.rows[r].method));
        } catch (const CommandFailure& failure) {
            throw CommandFailure(
                kExitBadInput,
                rowMethodError(file, sequence.rows[r], r + 1, failure.what()).text());
        }
    }
    LineAudit audit("sequence run", {{"sequence", file}, {"sha256", sha256Hex(content)}});
    // Each load and injection of the run gets its own line. One that cannot be written
    // pauses the sequence before its next injection, the reason naming the audit folder.
    std::string auditError;
    LineRowAudit rows(audit, sequence, auditError);
    std::optional<Session> session;
    std::optional<LineInstrument> instrument;
    std::optional<SequenceRunner> runner;
    audit.around([&] {
        session.emplace(Session::Parts::GCAndSampler);
        instrument.emplace(session->instrument(), file);
        runner.emplace(*instrument, [&](const json& e) {
            rows.tell(*runner, e);
            tell(e);
        });
        const std::string journal = unfinishedJournal(file);
        if (journal.empty()) {
            if (!runner->start(journalFolder(), file, content, sequence, MethodSource::Files,
                               error))
                throw CommandFailure(kExitFailed, "cannot start the sequence: " + error);
        } else {
            // The same file again after a kill, a Ctrl-C or a pause: it goes on from its
            // journal.
            if (!runner->recover(journal, error))
                throw CommandFailure(kExitFailed, "cannot go on with " + journal + ": " + error);
            std::cerr << "going on with the sequence " << runner->runId() << " (" << journal
                      << ")\n";
            if (runner->paused() && !runner->resume(skipRow, error))
                throw CommandFailure(kExitFailed, error);
        }
    });
    audit.params()["run_id"] = runner->runId();
    audit.done();
    const int pollMs = std::min(statusFrequencyMs(), 1000);
    const std::string again = "gc6890 sequence run " + typed +
                              " goes on from there (--skip-row skips the row it stopped on)";
    while (runner->running()) {
        instrument->poll();
        runner->step();
        if (!auditError.empty() && runner->running())
            runner->pause(std::exchange(auditError, ""));
        if (runner->running() && !session->wait(pollMs)) {
            runner->pause("interrupted (Ctrl-C)");
            if (!runner->paused())
                throw CommandFailure(kExitFailed,
                                     "interrupted during a run, which goes on; " + again);
        }
    }
    return ending(runner->json(), again);
}

std::string safeUploadName(const std::string& typed)
{
    std::string name = std::filesystem::path(typed).filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return name;
}

int runThroughService(const ServiceClient& service, const std::string& typed)
{
    std::ifstream in(typed, std::ios::binary);
    if (!in)
        throw CommandFailure(kExitBadInput, typed + ": cannot read: " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    const json started = service.post("/api/v1/sequences?file=" + safeUploadName(typed), text.str(),
                                      "application/toml");
    const std::string id = started.value("id", "");
    const std::string url = "/api/v1/sequences/" + id;
    std::cerr << "sequence " << id << " started on " << service.url() << '\n';
    json last;
    service.follow([&](const std::string& name, const json& data) {
        if (name == "sequence" && data.value("sequence", "") == id) {
            tell(data);
            const std::string step = data.value("step", "");
            return step != "finished" && step != "aborted" && step != "paused";
        }
        if (name != "status")
            return true;
        // Steps told before the stream was joined: the sequence's own state settles it.
        last = service.get(url);
        const std::string state = last.value("state", "");
        return state == "running" || state == "pausing" || state == "aborting";
    });
    return ending(service.get(url), "resume it with POST " + service.url() + url +
                                        "/resume (skip_row to skip the row)");
}

}  // namespace

int sequenceStatusViaService(const ServiceClient& service, const std::string& id)
{
    const json s = id.empty() ? service.get("/api/v1/sequences")["latest"]
                              : service.get("/api/v1/sequences/" + id);
    if (s.is_null())
        throw CommandFailure(kExitFailed, "the service has run no sequence");
    summarise(s, std::cout);
    return kExitOk;
}

int sequenceControlViaService(const ServiceClient& service, const std::string& action,
                              const std::string& id, bool skipRow)
{
    std::string target = id;
    if (target.empty()) {
        const json latest = service.get("/api/v1/sequences")["latest"];
        if (latest.is_null())
            throw CommandFailure(kExitFailed, "the service has run no sequence");
        target = latest.value("id", "");
    }
    const json body = skipRow ? json{{"skip_row", true}} : json::object();
    summarise(service.post("/api/v1/sequences/" + target + "/" + action, jsonText(body)),
              std::cout);
    return kExitOk;
}

void addSequenceRunCommand(CLI::App& sequence, CommandTable& table)
{
    const GlobalOptions* globals = &table.globals();
    auto service = [globals] { return chosenService(*globals); };
    CLI::App* run = sequence.add_subcommand(
        "run", "Run a sequence file: through the service (methods stored there) or on the line "
               "(methods as files); the same file again goes on from its journal");
    auto file = std::make_shared<std::string>();
    auto skipRow = std::make_shared<bool>(false);
    run->add_option("FILE", *file, "Sequence file")->required();
    run->add_flag("--skip-row", *skipRow,
                  "Going on after a pause on the line: skip the row it paused on");
    table.add(run, [file, skipRow, service] {
        if (auto client = service())
            return runThroughService(*client, *file);
        return runOnLine(*file, *skipRow);
    });
}

}  // namespace gc6890::cli
