// The instrument commands through a running service, and "gc6890 watch", which follows
// its event stream. The output and exit codes are those of the commands on the line.
#include <httplib.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "cli_error.h"
#include "command_table.h"
#include "external/inlet_utils.h"
#include "method_files.h"
#include "record_output.h"
#include "service_client.h"
#include "station/safe_text.h"
#include "station/status_format.h"
#include "status_watch.h"

namespace gc6890::cli {

namespace {

using nlohmann::json;

// The name the service knows the method by: a method file here is sent to the service
// first (checked there, stored in its method folder under the file's name).
std::string serviceMethod(const ServiceClient& service, const std::string& typed)
{
    const std::string resolved = methodNameFromUser(typed);
    if (resolved.find('/') == std::string::npos)
        return resolved;
    std::ifstream file(resolved, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    std::string name = resolved.substr(resolved.rfind('/') + 1);
    service.post("/api/v1/methods/" + name, text.str(), "application/toml");
    if (name.ends_with(kMethodFileExtension))
        name.resize(name.size() - std::string_view(kMethodFileExtension).size());
    return name;
}

void requireLineUp(const json& status, const ServiceClient& service)
{
    if (textField(status, "line") != "up")
        throw CommandFailure(kExitNoComms, "no communication with the instrument through " +
                                               service.url() + ": " +
                                               textField(status, "line_reason"));
}

}  // namespace

int statusViaService(const ServiceClient& service, bool watch, bool asJson)
{
    json status = service.get("/api/v1/status");
    const InstrumentStatus record = status.get<InstrumentStatus>();
    if (!watch) {
        std::cout << (asJson ? statusJson(record) + "\n" : statusText(record));
        requireLineUp(status, service);
        return kExitOk;
    }
    // Each poll's status as the service sends it, shown as on the line, until Ctrl-C.
    StatusWatchOutput output(asJson);
    output.show(record);
    service.follow([&](const std::string& name, const json& data) {
        if (name == "status") {
            output.show(data.get<InstrumentStatus>());
        }
        return true;
    });
    return kExitOk;
}

int loadViaService(const ServiceClient& service, const std::string& typed)
{
    const std::string name = serviceMethod(service, typed);
    service.runJob("/api/v1/load", {{"method", name}}, "load");
    std::cout << "loaded " << methodFileName(typed) << '\n';
    return kExitOk;
}

int runViaService(const ServiceClient& service, const std::string& typed, int vial, float volume,
                  bool load, bool detach)
{
    const std::string name = serviceMethod(service, typed);
    if (load)
        service.runJob("/api/v1/load", {{"method", name}}, "load");
    const json run = service.runJob("/api/v1/run",
                                    {{"method", name}, {"vial", vial}, {"volume", volume}}, "run");
    std::cout << "injecting from vial " << vial << '\n' << std::flush;
    if (detach)
        return kExitOk;  // the service follows the run and writes its results all the same
    // Followed as on the line, a line per change; the end is the service's: it follows the
    // run on its own polls and names the results folder in the job's record.
    const std::string url = "/api/v1/jobs/" + std::to_string(wholeField(run, "id").value_or(0));
    std::string lastLine;
    for (;;) {
        const std::string line = statusLine(service.get("/api/v1/status").get<InstrumentStatus>());
        if (line != lastLine)
            std::cerr << "run: " << line << '\n';
        lastLine = line;
        const json job = service.get(url);
        if (job.contains("results_error"))
            throw CommandFailure(kExitFailed,
                                 "run: the run ended, but its results were not written: " +
                                     textField(job, "results_error"));
        if (job.contains("results_folder")) {
            std::cout << "run finished\nresults in " << textField(job, "results_folder") << '\n';
            return kExitOk;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

int jobViaService(const ServiceClient& service, const std::string& what, const std::string& path,
                  const json& body)
{
    service.runJob(path, body, what);
    std::cout << what << ": ok\n";
    return kExitOk;
}

int recordViaService(const ServiceClient& service, const std::string& typed, float volume,
                     const std::string& out)
{
    const std::string name = serviceMethod(service, typed);
    const std::string text =
        service.getText("/api/v1/methods/" + name + "/record?volume=" + std::to_string(volume));
    return putRecord(text, out);
}

int logViaService(const ServiceClient& service)
{
    std::cout << service.getText("/api/v1/log?lines=100000");
    return kExitOk;
}

}  // namespace gc6890::cli

namespace gc6890::cli {

int watchViaService(const ServiceClient& service, bool log)
{
    std::string lastLine;
    std::map<std::int64_t, std::string> jobs;  // the last state told of each job
    service.follow([&](const std::string& name, const json& data) {
        if (name == "status") {
            std::string line = statusLine(data.get<InstrumentStatus>());
            if (data.value("line", "up") != "up")
                line +=
                    " | line " + textField(data, "line") + ": " + textField(data, "line_reason");
            if (line != lastLine)
                std::cout << "status: " << line << '\n';
            lastLine = line;
        } else if (name == "run") {
            std::cout << "run: " << textField(data, "state")
                      << (data.value("found_at_start", false) ? " (found at start)" : "") << '\n';
        } else if (name == "job") {
            // A line per change of state; the method-line progress is left out.
            const std::string state = textField(data, "state");
            const std::int64_t id = wholeField(data, "id").value_or(0);
            std::string& last = jobs[id];
            if (state != last)
                std::cout << "job " << id << " " << textField(data, "kind") << ": " << state << " "
                          << textField(data, "message") << '\n';
            last = state;
        } else if (log && name == "log") {
            std::cout << "log: " << textField(data, "text") << '\n';
        }
        std::cout.flush();
        return true;
    });
    return kExitOk;
}

}  // namespace gc6890::cli

namespace gc6890::cli {

void addWatchCommand(CommandTable& table)
{
    CLI::App* watch = table.app().add_subcommand(
        "watch", "Follow a service's events: status, run, jobs (and the log) until Ctrl-C");
    auto log = std::make_shared<bool>(false);
    watch->add_flag("--log", *log, "Show the comms log entries too");
    const GlobalOptions* globals = &table.globals();
    table.add(watch, [log, globals] {
        auto service = chosenService(*globals);
        if (!service)
            throw CommandFailure(kExitBadInput,
                                 "watch follows a service: give --service URL or set Service");
        return watchViaService(*service, *log);
    });
}

}  // namespace gc6890::cli
