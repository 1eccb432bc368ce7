// gc6890 demo: a whole session against the built-in simulator, fast enough to watch.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli_error.h"
#include "command_table.h"
#include "method_files.h"
#include "port_choice.h"
#include "run_watch.h"
#include "session.h"
#include "station/status_format.h"

namespace gc6890::cli {

namespace {

// Instrument time runs this many times faster than real time in the demo.
constexpr const char* kDemoSimulatorOptions = "--speed 120";
constexpr int kDemoPollMs = 250;

void step(const char* text)
{
    std::cout << "\n== " << text << '\n' << std::flush;
}

// The starting method, written to a scratch folder that is removed afterwards.
class DemoMethod {
public:
    DemoMethod()
    {
        char folder[] = "/tmp/gc6890-demo-XXXXXX";
        if (!mkdtemp(folder))
            throw CommandFailure(kExitFailed, "demo: cannot make a scratch folder in /tmp");
        folder_ = folder;
        file_ = folder_ + "/demo.toml";
        std::ofstream(file_) << methodTemplate();
    }
    ~DemoMethod()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& file() const { return file_; }

private:
    std::string folder_;
    std::string file_;
};

int demo(bool trace)
{
    // The simulator always, whatever the stored port, and fast unless the user chose.
    setenv("GC6890_SIM_OPTIONS", kDemoSimulatorOptions, 0);
    installPortChoice("sim", trace);
    const DemoMethod method;
    const LoadedMethod loaded = loadMethodFile(method.file());

    step("open communications with the GC and its sampler (simulator)");
    std::unique_ptr<ProgressBar> bar;
    Session session(Session::Parts::GCAndSampler, [&bar](int sent, int total) {
        if (!bar)
            bar = std::make_unique<ProgressBar>("method lines");
        bar->update(sent, total);
        if (sent >= total)
            bar.reset();
    });

    Instrument& instrument = session.instrument();
    step("status");
    InstrumentStatus status;
    instrument.poll(status);
    std::cout << statusText(status);

    step("load the method into the GC and the sampler");
    if (!instrument.loadGC(loaded.fileName))
        throw CommandFailure(kExitFailed,
                             "demo: the GC did not take the method: " + lastMessageBox());
    bar.reset();
    if (!instrument.loadSampler(loaded.fileName))
        throw CommandFailure(kExitFailed,
                             "demo: the sampler did not take the method: " + lastMessageBox());
    std::printf("run length %.2f min\n", loaded.gc.GetRunLength());

    step("inject from vial 1 and watch the run");
    if (instrument.inject(loaded.fileName, 1, 1.0f) != Instrument::Part::None)
        throw CommandFailure(kExitFailed, "demo: the injection did not start: " + lastMessageBox());
    watchRun(session, kDemoPollMs);

    step("experiment record");
    std::string record;
    instrument.record(loaded.fileName, 1.0f, record);
    std::cout << record;

    step("stop and close");
    instrument.stop();
    instrument.poll(status);
    std::cout << statusText(status) << "\ndemo finished\n";
    return kExitOk;
}

}  // namespace

void addDemoCommand(CommandTable& table)
{
    CLI::App* command = table.app().add_subcommand(
        "demo",
        "A whole session against the built-in simulator: status, load, inject, run, record, stop");
    table.add(command, [&table] { return demo(table.globals().trace); });
}

}  // namespace gc6890::cli
