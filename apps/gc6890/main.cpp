// gc6890: the host program that drives the GC and its sampler from a terminal.
//
// Results go to standard output; message boxes, status-line texts, progress and failures
// to standard error. Exit codes: see cli_error.h (and docs/cli.md, which also tells what
// SIGINT and SIGTERM do).
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli_error.h"
#include "command_table.h"
#include "console.h"
#include "external/port_interrupt.h"
#include "instrument_failure.h"
#include "platform/platform.h"
#include "port_choice.h"
#include "station/line_capture.h"

using namespace gc6890::cli;

int main(int argc, char** argv)
{
    CLI::App app{"gc6890: control an HP 6890 gas chromatograph and its liquid sampler"};
    app.set_version_flag("--version", std::string("gc6890 ") + GC6890_VERSION + "\nlibgc6890 " +
                                          gc6890::libraryVersion());
    app.require_subcommand(1);
    app.fallthrough();  // global options may also follow the command

    CommandTable table(app);
    GlobalOptions& globals = table.globals();
    app.add_option(
        "--port", globals.port,
        "Serial device, or sim for the built-in simulator (default: the Port setting, else sim)");
    app.add_option("--home", globals.home,
                   "Folder of the settings store and comms log (default: $GC6890_HOME, else "
                   "$XDG_DATA_HOME/gc6890, else ~/.local/share/gc6890)");
    app.add_flag("--trace", globals.trace, "Show the line traffic on standard error");
    app.add_option("--service", globals.service,
                   "Go through the service at http://HOST:PORT or https://HOST:PORT (default: "
                   "the Service setting)");
    app.add_option("--ca", globals.ca,
                   "CA certificate that signed an https service's (default: the ServiceCaFile "
                   "setting, else the system's CAs)");
    app.add_option("--token-file", globals.tokenFile,
                   "File holding the service's token (default: the Token setting)");
    app.add_option("--capture", globals.capture,
                   "Add every line sent and received, with its time, to FILE (JSON lines; "
                   "gc6890-sim --replay answers from it)");
    CLI::Option* yes = app.add_flag("--yes", globals.yes, "Answer yes to every question");
    app.add_flag("--no", globals.no, "Answer no to every question")->excludes(yes);

    addInstrumentCommands(table);
    addMethodCommands(table);
    addConfigCommands(table);
    addPortsCommand(table);
    addLogCommand(table);
    addDemoCommand(table);
    addServeCommand(table);
    addWatchCommand(table);
    addSequenceCommands(table);
    addDoctorCommand(table);
    addProfileCommands(table);
    addAuditCommands(table);
    addUserCommands(table);
    addLabCommands(table);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    if (!globals.home.empty())
        setenv("GC6890_HOME", globals.home.c_str(), 1);
    installConsoleHandlers(globals.answer());
    installPortChoice(globals.port, globals.trace);

    const CommandAction* action = table.chosen();
    if (!action) {
        std::cerr << app.help();
        return kExitBadInput;
    }
    std::unique_ptr<gc6890::LineCapture> capture;
    if (!globals.capture.empty()) {
        // Appended: several commands given one file make one session's capture.
        capture = std::make_unique<gc6890::LineCapture>(globals.capture, true);
        if (!capture->writing()) {
            std::cerr << "gc6890: --capture: cannot write " << globals.capture << '\n';
            return kExitBadInput;
        }
    }
    try {
        const int code = (*action)();
        // A signal that came while the command finished its last step still ends the
        // program as the signal does.
        if (gc6890::PortInterruptSignal() != 0)
            throw interruptedFailure("the command had finished");
        return code;
    } catch (const CommandFailure& failure) {
        std::cerr << "gc6890: " << failure.what() << '\n';
        return failure.code();
    } catch (const std::exception& error) {
        std::cerr << "gc6890: " << error.what() << '\n';
        return kExitFailed;
    }
}
