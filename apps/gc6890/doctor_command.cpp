// gc6890 doctor: a read-only check of the line and the instrument that a person can run on a
// real GC without fear (station/line_check.h says what it sends), with the capture of its
// session; --bundle packs what a developer needs to replay it.
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli_error.h"
#include "command_table.h"
#include "external/port_interrupt.h"
#include "platform/platform.h"
#include "port_choice.h"
#include "serial_devices.h"
#include "station/line_capture.h"
#include "station/line_check.h"
#include "support_bundle.h"

namespace gc6890::cli {

namespace {

constexpr const char* kPortKey = "Inlets\\Hubrel\\Varnock";

const char* resultText(LineCheck::Result result)
{
    switch (result) {
    case LineCheck::Result::Passed:
        return "passed";
    case LineCheck::Result::Failed:
        return "FAILED";
    case LineCheck::Result::Skipped:
        break;
    }
    return "skipped";
}

// The devices present and the chosen one, each with what is wrong with it.
void printDevices(std::ostream& out, const std::string& chosen)
{
    out << "Serial devices:\n";
    bool chosenListed = chosen == "sim";
    for (const SerialDevice& device : serialDevices()) {
        chosenListed = chosenListed || device.path == chosen || device.target == chosen;
        const std::string problem = deviceProblem(device.path);
        out << "  " << device.path << (device.target.empty() ? "" : " -> " + device.target) << ": "
            << (problem.empty() ? "ok" : problem) << '\n';
    }
    if (!chosenListed) {
        const std::string problem = deviceProblem(chosen);
        out << "  " << chosen << " (chosen): " << (problem.empty() ? "ok" : problem) << '\n';
    }
    out << "  sim: the built-in simulator\n";
}

void printTable(std::ostream& out, const LineCheckReport& report)
{
    out << std::left << std::setw(20) << "check" << std::setw(9) << "result" << std::right
        << std::setw(7) << "ms"
        << "  answer\n";
    for (const LineCheck& check : report.checks) {
        out << std::left << std::setw(20) << check.name << std::setw(9) << resultText(check.result)
            << std::right << std::setw(7)
            << (check.ms < 0 ? std::string("-") : std::to_string(check.ms)) << "  " << check.found
            << '\n';
        if (!check.cause.empty())
            out << std::string(22, ' ') << "cause: " << check.cause << '\n';
        if (!check.remedy.empty())
            out << std::string(22, ' ') << "do:    " << check.remedy << '\n';
    }
}

void printFacts(std::ostream& out, const LineCheckReport& report)
{
    if (!report.identity.empty())
        out << "Identity: " << report.identity << "\nFirmware: " << report.firmware << '\n';
    if (report.hardwareKnown)
        out << "Installed hardware: " << describeHardware(report.profile.hardware) << '\n';
    if (!report.method.empty()) {
        out << "The GC's current method (" << report.method.size() << " commands):\n";
        for (const std::string& command : report.method)
            out << "  " << command << '\n';
    }
}

int runDoctor(const std::string& capturePath, const std::string& bundlePath)
{
    InterruptPortWaitsOnSignals();
    const std::string device = chosenDevice();
    // What is printed is also the bundle's report; each part is shown as soon as it is known.
    std::ostringstream all;
    const auto show = [&all](const std::string& text) {
        std::cout << text << std::flush;
        all << text;
    };
    std::ostringstream text;
    printDevices(text, device);
    show(text.str());

    std::string problems;
    ReadPortSettings(kPortKey, &problems);
    if (!problems.empty())
        show("Settings: " + problems + " (the defaults stand in; gc6890 config set)\n");

    // The doctor keeps its capture even when --capture did not ask for one.
    std::unique_ptr<LineCapture> capture;
    const std::string path = capturePath.empty() ? homeDirectory() + "/capture.jsonl" : "";
    if (!path.empty()) {
        makeDirectories(homeDirectory());
        capture = std::make_unique<LineCapture>(path);
    }

    LineCheckReport report;
    {
        CHP6890SerialComms channel;
        show("Line: " + device + '\n');
        report = checkLine(channel);
    }
    text.str("");
    printTable(text, report);
    printFacts(text, report);
    if (capture && !capture->writing())
        text << "Capture: not written (" << path << " cannot be written)\n";
    else
        text << "Capture: " << (capturePath.empty() ? path : capturePath) << '\n';
    show(text.str());
    if (!bundlePath.empty()) {
        capture.reset();  // every line is in the file
        writeSupportBundle(bundlePath,
                           {all.str(), capturePath.empty() ? path : capturePath,
                            report.hardwareKnown ? hardwareProfileText(report.profile) : "",
                            report.firmware});
        std::cout << "Bundle: " << bundlePath << '\n';
    }
    if (PortInterruptSignal() != 0)
        return kExitSignalBase + PortInterruptSignal();
    if (report.noCommunication)
        return kExitNoComms;
    return report.passed() ? kExitOk : kExitFailed;
}

}  // namespace

void addDoctorCommand(CommandTable& table)
{
    CLI::App* doctor = table.app().add_subcommand(
        "doctor", "Check the line and the instrument without changing anything, and say what to "
                  "do about each failure");
    auto bundle = std::make_shared<std::string>();
    doctor->add_option("--bundle", *bundle,
                       "Also pack the report, the capture, the comms log, the hardware profile, "
                       "the settings (secrets masked) and the versions into FILE.tar.gz");
    table.add(doctor, [&table, bundle] { return runDoctor(table.globals().capture, *bundle); });
}

}  // namespace gc6890::cli
