// gc6890 method check | show | length | new: method files, without the instrument.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <unistd.h>

#include "cli_error.h"
#include "command_table.h"
#include "external/hardware_profile.h"
#include "external/inlet_utils.h"
#include "external/method_file_toml.h"
#include "external/method_key_line.h"
#include "gc/varnock_gc_system.h"
#include "method/method_check.h"
#include "method/method_errors.h"
#include "method_files.h"
#include "service_client.h"
#include "session.h"

namespace gc6890::cli {

namespace {

// Past this a refused file is not read again for the GC's code.
constexpr std::uintmax_t kLargestCheckedFile = 1 << 20;

std::string readText(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

// The GC's own words for a result code, as the download's box would show them.
std::string gcAnswers(int code)
{
    return "the GC answers " + std::to_string(code) + " \"" + GetMethodErrorText(code).str() + "\"";
}

// A file's fault that the GC knows as well gets the GC's code and text: the fault the
// reader finds again in the same words.
std::string withGCCode(const std::string& message, const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec) ||
        std::filesystem::file_size(fileName, ec) > kLargestCheckedFile)
        return message;
    CHP6890Method gc;
    CALS6890Method als;
    std::string error;
    int code = 0;
    if (readMethodToml(readText(fileName), fileName, gc, als, error, code) || error != message ||
        code == 0)
        return message;
    return message + "; " + gcAnswers(code);
}

// The hardware a service's GC reported when the service opened its line, and the run
// state of its last poll.
InstalledHardware serviceHardware(const std::string& url, int& runState)
{
    const ServiceClient service(url, "");
    const nlohmann::json status = service.get("/api/v1/status");
    if (status.value("line", "") != "up")
        throw CommandFailure(kExitNoComms, "method check: the service at " + service.url() +
                                               " has no GC on its line (" +
                                               status.value("line_reason", "") + ")");
    InstalledHardware hardware;
    const nlohmann::json identity = status.value("identity", nlohmann::json::object());
    if (!readHardwareDescription(identity.value("hardware", ""), hardware))
        throw CommandFailure(kExitNoComms, "method check: the GC of the service at " +
                                               service.url() + " did not report its hardware");
    const std::string state = status.value("run_state", "");
    runState = state == "pre-run" ? 1 : state == "run" ? 2 : state == "post-run" ? 3 : 0;
    return hardware;
}

// The hardware to check against: a profile, the GC on --port or behind --service, or none
// known.
std::optional<InstalledHardware> hardwareFor(const std::string& profile, const std::string& port,
                                             const std::string& service, int& runState)
{
    runState = 0;
    if (!service.empty())
        return serviceHardware(service, runState);
    if (!profile.empty()) {
        HardwareProfile read;
        std::string error;
        if (!readHardwareProfile(profile, read, error))
            throw CommandFailure(kExitBadInput, "method check: " + error);
        return read.hardware;
    }
    if (port.empty())
        return std::nullopt;
    Session session(Session::Parts::GCOnly);
    InstalledHardware hardware;
    auto* gc = dynamic_cast<CVarnockGCSystem*>(&session.instrument().gc());
    if (!gc || !gc->ReadInstalledHardware(hardware, runState))
        throw CommandFailure(kExitNoComms,
                             "method check: the GC on " + port + " did not report its hardware");
    return hardware;
}

// Reads the method and applies the GC's rules to it; every breach is printed with the
// file, line, key, the limit and the GC's text, and fails the check (exit 2).
int checkMethod(const std::string& typed, const std::string& profile, const std::string& port,
                const std::string& service)
{
    if (!profile.empty() + !port.empty() + !service.empty() > 1)
        throw CommandFailure(kExitBadInput,
                             "method check: use one of --profile, --port and --service");
    // The library reads the file first: it refuses what is not a method file unread.
    LoadedMethod loaded;
    try {
        loaded = loadMethodFile(typed);
    } catch (const CommandFailure& failure) {
        throw CommandFailure(failure.code(), withGCCode(failure.what(), methodFileName(typed)));
    }
    const std::string& fileName = loaded.fileName;
    const std::string text = readText(fileName);  // for the lines of the keys
    CHP6890Method& gc = loaded.gc;

    int runState = 0;
    const std::optional<InstalledHardware> hardware = hardwareFor(profile, port, service, runState);
    const std::vector<MethodFinding> findings =
        CheckMethodRules(gc, hardware ? &*hardware : nullptr);
    for (const MethodFinding& f : findings)
        std::cerr << fileName << ":" << MethodKeyLine(text, f.key) << ": " << f.key << " = "
                  << f.value << ": " << f.breach.rule << "; " << gcAnswers(f.breach.code) << '\n';
    const RuleBreach running = CheckRunState(runState);
    if (running)
        std::cerr << fileName << ": " << running.rule << "; " << gcAnswers(running.code) << '\n';
    if (!findings.empty() || running)
        throw CommandFailure(kExitBadInput, "method check: the GC would refuse " + fileName);
    std::printf("%s: ok, run length %.2f min\n", fileName.c_str(), gc.GetRunLength());
    return kExitOk;
}

int showMethod(const std::string& typed)
{
    const LoadedMethod method = loadMethodFile(typed);
    std::cout << "# " << method.fileName << " with every key, defaults included\n"
              << writeMethodToml(method.gc, method.als);
    return kExitOk;
}

int printLength(const std::string& typed)
{
    const LoadedMethod method = loadMethodFile(typed);
    std::printf("%.2f\n", method.gc.GetRunLength());
    return kExitOk;
}

// Writes the starting method; an existing file is never replaced.
int newMethod(std::string file)
{
    if (!file.ends_with(kMethodFileExtension))
        file += kMethodFileExtension;
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        throw CommandFailure(kExitBadInput,
                             "method new: " + file + " already exists; choose another name");
    const std::string temporary = file + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << methodTemplate();
        out.flush();
        if (!out) {
            ::unlink(temporary.c_str());
            throw CommandFailure(kExitFailed, "method new: cannot write " + file);
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        ::unlink(temporary.c_str());
        throw CommandFailure(kExitFailed, "method new: cannot write " + file + ": " + ec.message());
    }
    std::cout << file << '\n';
    return kExitOk;
}

void addFileCommand(CommandTable& table, CLI::App* group, const char* name, const char* help,
                    int (*action)(const std::string&))
{
    CLI::App* command = group->add_subcommand(name, help);
    auto file = std::make_shared<std::string>();
    command->add_option("FILE", *file, "Method file, or a method name from the methods folder")
        ->required();
    table.add(command, [file, action] { return action(*file); });
}

}  // namespace

void addMethodCommands(CommandTable& table)
{
    CLI::App* method = table.group(
        "method", "Check, print or create method files; list a stored method's versions");
    CLI::App* check = method->add_subcommand(
        "check", "Check a method file against the GC's rules; errors name the file, line and key");
    auto checked = std::make_shared<std::string>();
    auto profile = std::make_shared<std::string>();
    check->add_option("FILE", *checked, "Method file, or a method name from the methods folder")
        ->required();
    check->add_option("--profile", *profile,
                      "Check against the hardware of a simulator profile (with --port or "
                      "--service: against the GC's own)");
    const GlobalOptions& globals = table.globals();
    table.add(check, [checked, profile, &globals] {
        return checkMethod(*checked, *profile, globals.port, globals.service);
    });
    addFileCommand(table, method, "show", "Print a method with every key, defaults included",
                   showMethod);
    addFileCommand(table, method, "length", "Print a method's run length in minutes", printLength);

    CLI::App* create =
        method->add_subcommand("new", "Write a commented starting method (never replaces a file)");
    auto file = std::make_shared<std::string>();
    create->add_option("FILE", *file, "File to create (.toml is added when missing)")->required();
    table.add(create, [file] { return newMethod(*file); });
    addMethodVersionsCommand(*method, table);
}

}  // namespace gc6890::cli
