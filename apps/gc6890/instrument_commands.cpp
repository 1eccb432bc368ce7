// The commands that talk to the instrument: status, load, run, stop, reset, zones, gc-on,
// and record (which reads the method through the instrument objects without the line).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>

#include "cli_error.h"
#include "command_table.h"
#include "comms/line_failure.h"
#include "instrument_failure.h"
#include "line_audit.h"
#include "method_files.h"
#include "record_output.h"
#include "run_watch.h"
#include "sequence/injection_limits.h"
#include "sequence/results_writer.h"
#include "service/snapshot.h"
#include "service/status_history.h"
#include "service_client.h"
#include "session.h"
#include "station/status_format.h"
#include "status_watch.h"

namespace gc6890::cli {

namespace {

struct StatusOptions {
    bool watch = false;
    bool json = false;
};

int showStatus(const StatusOptions& options)
{
    Session session(Session::Parts::GCAndSampler);
    InstrumentStatus status;
    if (!options.watch) {
        // A failed poll prints no status: what the objects hold then is not the instrument's.
        if (!session.instrument().poll(status))
            throw instrumentFailure("status");
        std::cout << (options.json ? statusJson(status) + "\n" : statusText(status));
        return kExitOk;
    }
    // Until interrupted or a poll fails.
    StatusWatchOutput output(options.json);
    const int frequency = statusFrequencyMs();
    do {
        if (!session.instrument().poll(status))
            throw instrumentFailure("status --watch");
        ClearLineFailure();
        output.show(status);
    } while (session.wait(frequency));
    throw interruptedFailure("status --watch ended");
}

// How far the GC's method download went, and its progress bar.
struct Download {
    std::unique_ptr<ProgressBar> bar;
    int sent = 0;
    int total = 0;
};

DownloadProgress progressBar(Download& download)
{
    return [&download](int sent, int total) {
        download.sent = sent;
        download.total = total;
        if (!download.bar)
            download.bar = std::make_unique<ProgressBar>("method lines");
        download.bar->update(sent, total);
        if (sent >= total)
            download.bar.reset();
    };
}

// GC download first, then the sampler's set points, as the host loads a method. A signal
// ends the download after the line in flight; the user learns which method the GC holds.
void loadMethod(Session& session, const std::string& name, Download& download)
{
    const bool taken = session.instrument().loadGC(name);
    download.bar.reset();
    if (Session::interrupted()) {
        if (taken)
            throw interruptedFailure("the GC holds the new method " + name +
                                     "; the sampler's part was not loaded");
        if (download.total > 0 && download.sent >= download.total)
            throw interruptedFailure("the method " + name +
                                     " was sent but its installation not confirmed: the GC "
                                     "may hold either method (gc6890 load again)");
        throw interruptedFailure("the GC keeps its old method (" + std::to_string(download.sent) +
                                 " of the new method's lines were sent, none installed)");
    }
    if (!taken)
        throw instrumentFailure("load: the GC did not take the method " + name);
    if (!session.instrument().loadSampler(name))
        throw instrumentFailure("load: the sampler did not take the method " + name);
}

int load(const std::string& typed)
{
    const LoadedMethod method =
        loadMethodFile(typed);  // a bad file is refused before the line is used
    LineAudit audit("load", {{"method", method.fileName}, {"sha256", method.sha256}});
    audit.around([&] {
        Download download;
        Session session(Session::Parts::GCAndSampler, progressBar(download));
        loadMethod(session, method.fileName, download);
    });
    audit.done();
    std::cout << "loaded " << method.fileName << '\n';
    return kExitOk;
}

struct RunOptions {
    std::string method;
    int vial = 0;
    float volume = 1.0f;
    bool load = false;
    bool noWait = false;
};

// The injection's results folder, as a run job of the service writes it; its path on
// standard output. A run not followed to its end still gets one, its note saying why.
// False, said on standard error, when it could not be written.
bool writeLineRunResult(Session& session, const LoadedMethod& method, RunResult result,
                        const std::vector<HistorySample>& samples)
{
    result.endMs = unixNowMs();
    if (!session.instrument().record(method.fileName, result.volume, result.record))
        result.record = "the experiment record of " + method.fileName + " could not be written\n";
    result.history = historyJson(samples);
    std::string folder, error;
    if (!writeRunResult(resultsFolder(), result, folder, error)) {
        std::cerr << "gc6890: run: the results were not written: " << error << '\n';
        return false;
    }
    std::cout << "results in " << folder << '\n';
    return true;
}

// The sampler loads its part and injects; the injection starts the GC's run. The GC's own
// start sends nothing: its method is the one loaded last (with --load, this one).
void inject(Session& session, const LoadedMethod& method, const RunOptions& options,
            Download& download)
{
    if (options.load)
        loadMethod(session, method.fileName, download);
    else if (!session.instrument().loadSampler(method.fileName))
        // The method's sampler part (washes, back-vial offset, first vial) as a load would
        // bring it; the injection's own load below sets only the volume.
        throw instrumentFailure("run: the sampler did not take the method " + method.fileName);
    switch (session.instrument().inject(method.fileName, options.vial, options.volume)) {
    case Instrument::Part::Sampler:
        throw instrumentFailure("run: the sampler did not start the injection from vial " +
                                std::to_string(options.vial));
    case Instrument::Part::GC:
        throw instrumentFailure("run: the GC did not start");
    case Instrument::Part::None:
        break;
    }
}

int run(const RunOptions& options)
{
    const LoadedMethod method = loadMethodFile(options.method);
    LineAudit audit("run", {{"method", method.fileName},
                            {"sha256", method.sha256},
                            {"vial", options.vial},
                            {"volume", options.volume},
                            {"load", options.load}});
    Download download;
    std::optional<Session> session;
    audit.around([&] {
        session.emplace(Session::Parts::GCAndSampler, progressBar(download));
        inject(*session, method, options, download);
    });
    audit.done();
    std::cout << "injecting from vial " << options.vial << '\n' << std::flush;
    RunResult result =
        singleInjectionResult("line", std::filesystem::path(method.fileName).stem().string(),
                              options.vial, options.volume, unixNowMs());
    result.methodSha256 = method.sha256;
    std::vector<HistorySample> samples;
    if (options.noWait) {
        result.note = "not followed: gc6890 run --no-wait returned at the injection";
        return writeLineRunResult(*session, method, result, samples) ? kExitOk : kExitFailed;
    }
    try {
        watchRun(*session, std::min(statusFrequencyMs(), 1000), &samples);
    } catch (const CommandFailure& failure) {
        result.note = std::string("not followed to its end: ") + failure.what();
        writeLineRunResult(*session, method, result, samples);
        throw;
    }
    std::cout << "run finished\n";
    return writeLineRunResult(*session, method, result, samples) ? kExitOk : kExitFailed;
}

int record(const std::string& typed, float volume, const std::string& out)
{
    const LoadedMethod method = loadMethodFile(typed);
    // The record needs the objects but not the line: no communications are opened.
    std::string text;
    if (!Instrument().record(method.fileName, volume, text))
        throw instrumentFailure("record: the method " + method.fileName + " could not be read");
    return putRecord(text, out);
}

// Runs one operation of an open session and turns a 0 into a failure naming it. An
// operation that changes the instrument (`action` not empty) is audited as `action`.
template <typename Operation>
int simple(Session::Parts parts, const std::string& what, Operation operation,
           const std::string& action = "", const nlohmann::json& params = nlohmann::json::object(),
           LineAudit::Unwritable unwritable = LineAudit::Unwritable::HoldsBack)
{
    std::optional<LineAudit> audit;
    if (!action.empty())
        audit.emplace(action, params, unwritable);
    const auto operate = [&] {
        Session session(parts);
        if (!operation(session.instrument()))
            throw instrumentFailure(what);
    };
    if (audit) {
        audit->around(operate);
        audit->done();
    } else
        operate();
    std::cout << what << ": ok\n";
    return kExitOk;
}

// The service chosen for this run; null: the commands use the line.
using ServiceChoice = std::function<std::unique_ptr<ServiceClient>()>;

// The commands of one operation each (stop, reset, zones, gc-on) and record.
void addOperationCommands(CommandTable& table, const ServiceChoice& service)
{
    CLI::App& app = table.app();
    table.add(app.add_subcommand("stop", "Stop the sampler and the GC's run"), [service] {
        if (auto client = service())
            return jobViaService(*client, "stop", "/api/v1/stop", nlohmann::json::object());
        // A stop is never held back by a trail that cannot be written: it stops, then fails.
        return simple(
            Session::Parts::GCAndSampler, "stop",
            [](Instrument& instrument) { return instrument.stop() == Instrument::Part::None; },
            "stop", nlohmann::json::object(), LineAudit::Unwritable::LetsThrough);
    });
    table.add(app.add_subcommand("reset", "Reset the sampler"), [service] {
        if (auto client = service())
            return jobViaService(*client, "reset", "/api/v1/reset", nlohmann::json::object());
        return simple(
            Session::Parts::GCAndSampler, "reset",
            [](Instrument& instrument) { return instrument.resetSampler(); }, "reset");
    });

    CLI::App* zones =
        app.add_subcommand("zones", "Switch the GC's heated zones (oven and inlets) on or off");
    auto state = std::make_shared<std::string>();
    zones->add_option("STATE", *state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    table.add(zones, [state, service] {
        if (auto client = service())
            return jobViaService(*client, *state == "on" ? "zones on" : "zones off",
                                 "/api/v1/zones", {{"on", *state == "on"}});
        return simple(Session::Parts::GCOnly, *state == "on" ? "zones on" : "zones off",
                      [&](Instrument& instrument) { return instrument.zones(*state == "on"); },
                      "zones", {{"on", *state == "on"}});
    });

    table.add(app.add_subcommand("gc-on", "Check that the GC answers on the line"), [] {
        return simple(Session::Parts::GCOnly, "gc-on",
                      [](Instrument& instrument) { return instrument.gcOn(); });
    });

    CLI::App* recordCommand = app.add_subcommand(
        "record",
        "Print the experiment record of a method: GC part, sampler part, injection volume");
    auto recordName = std::make_shared<std::string>();
    auto recordVolume = std::make_shared<float>(1.0f);
    auto out = std::make_shared<std::string>();
    recordCommand->add_option("METHOD", *recordName, "Method file or name")->required();
    recordCommand->add_option("--volume", *recordVolume, "Injection volume to record (default 1)")
        ->check(CLI::Range(kVolumeMin, kVolumeMax));
    recordCommand->add_option("--out", *out,
                              "Write the record to this file instead of standard output");
    table.add(recordCommand, [recordName, recordVolume, out, service] {
        if (auto client = service())
            return recordViaService(*client, *recordName, *recordVolume, *out);
        return record(*recordName, *recordVolume, *out);
    });
}

}  // namespace

void addInstrumentCommands(CommandTable& table)
{
    CLI::App& app = table.app();
    // With a service chosen (--service or the Service setting) the commands go through it.
    const GlobalOptions* globals = &table.globals();
    const ServiceChoice service = [globals] { return chosenService(*globals); };

    CLI::App* status =
        app.add_subcommand("status", "Poll the GC and sampler once and print the merged status");
    auto statusOptions = std::make_shared<StatusOptions>();
    status->add_flag("--watch", statusOptions->watch,
                     "Refresh at the StatusFrequency setting until interrupted (Ctrl-C)");
    status->add_flag("--json", statusOptions->json,
                     "Print JSON (one object per line with --watch)");
    table.add(status, [statusOptions, service] {
        if (auto client = service())
            return statusViaService(*client, statusOptions->watch, statusOptions->json);
        return showStatus(*statusOptions);
    });

    CLI::App* loadCommand =
        app.add_subcommand("load", "Download a method to the GC, then load the sampler's part");
    auto loadName = std::make_shared<std::string>();
    loadCommand->add_option("METHOD", *loadName, "Method file or name")->required();
    table.add(loadCommand, [loadName, service] {
        if (auto client = service())
            return loadViaService(*client, *loadName);
        return load(*loadName);
    });

    CLI::App* runCommand =
        app.add_subcommand("run", "Inject from a vial and watch the run to its end");
    auto runOptions = std::make_shared<RunOptions>();
    runCommand
        ->add_option("METHOD", runOptions->method,
                     "Method file or name (its sampler part is loaded)")
        ->required();
    runCommand->add_option("--vial", runOptions->vial, "Vial to inject from")
        ->required()
        ->check(CLI::Range(kVialMin, kVialMax));
    runCommand->add_option("--volume", runOptions->volume, "Injection volume (default 1)")
        ->check(CLI::Range(kVolumeMin, kVolumeMax));
    runCommand->add_flag("--load", runOptions->load,
                         "Download the whole method to the GC and sampler first");
    runCommand->add_flag("--no-wait,--detach", runOptions->noWait,
                         "Return once the injection has started");
    table.add(runCommand, [runOptions, service] {
        if (auto client = service())
            return runViaService(*client, runOptions->method, runOptions->vial, runOptions->volume,
                                 runOptions->load, runOptions->noWait);
        return run(*runOptions);
    });

    addOperationCommands(table, service);
}

}  // namespace gc6890::cli
