// gc6890 lab status: every instrument on one broker, one line each, for a person on ssh
// (docs/fleet.md); --json prints what the lab service's GET /api/v1/lab answers.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "cli_error.h"
#include "command_table.h"
#include "http_door_flags.h"
#include "lab/lab_service.h"
#include "lab/lab_subscriber.h"
#include "lab_table.h"
#include "platform/installation.h"
#include "service/snapshot.h"

namespace gc6890::cli {

namespace {

struct LabCommandOptions {
    std::string mqtt;
    bool json = false;
};

struct LabServeCommandOptions {
    std::string mqtt;
    HttpDoorFlags door;
    double notReadyMinutes = 10;
};

// How long the broker may take to answer, and to hand over the retained topics: they come
// at once after the subscription, and a quiet moment says they are all in.
constexpr int kConnectMs = 5000;
constexpr int kQuietMs = 500;
constexpr int kCatchUpMs = 3000;

MqttOptions brokerOptions(const std::string& url)
{
    MqttOptions options;
    options.url = url;
    std::string error;
    if (!readMqttSettings(options, error))
        throw CommandFailure(kExitFailed, error);
    return options;
}

int labStatus(const LabCommandOptions& options)
{
    lab::LabModel model;
    lab::LabSubscriber subscriber(model, brokerOptions(options.mqtt), [](const std::string& text) {
        std::cerr << "gc6890 lab: " << text << '\n';
    });
    std::string error;
    if (!subscriber.start(error))
        throw CommandFailure(kExitBadInput, error);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    while (!model.brokerConnected()) {
        if (Clock::now() - start > std::chrono::milliseconds(kConnectMs))
            throw CommandFailure(kExitFailed, "cannot reach the broker " + options.mqtt);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const Clock::time_point connected = Clock::now();
    std::uint64_t seen = model.version();
    while (Clock::now() - connected < std::chrono::milliseconds(kCatchUpMs)) {
        const std::uint64_t now = model.waitForChange(seen, kQuietMs);
        if (now == seen)
            break;
        seen = now;
    }
    const nlohmann::json lab = model.toJson(unixNowMs());
    subscriber.stop();
    if (options.json)
        std::cout << lab.dump(1) << '\n';
    else
        std::cout << labTable(lab);
    return kExitOk;
}

int labServe(const LabServeCommandOptions& options)
{
    options.door.checkTls();
    lab::LabServeOptions serve;
    serve.mqtt = brokerOptions(options.mqtt);
    serve.http = options.door.frontOptions();
    serve.lab.notReadyAlertMs = static_cast<std::int64_t>(options.notReadyMinutes * 60000);
    serve.openApiPath = dataDirectory() + "/docs/openapi-lab.json";
    // The page lives beside the lab's code, not in the dashboard's folder: the instrument
    // service serves that folder whole, and the lab page has no lab behind it there.
    serve.webDir = dataDirectory() + "/lab/web";
    serve.chartJsDir = GC6890_CHARTJS_DIR;
    serve.tlsCertificate = options.door.tlsCertificate;
    serve.tlsKey = options.door.tlsKey;
    return lab::runLabService(serve);
}

}  // namespace

void addLabCommands(CommandTable& table)
{
    CLI::App* lab = table.group(
        "lab", "Every instrument on one MQTT broker: its state and what needs a person");
    auto options = std::make_shared<LabCommandOptions>();
    CLI::App* status = lab->add_subcommand(
        "status", "Print one line per instrument on the broker, then the alerts, newest first");
    status
        ->add_option("--mqtt", options->mqtt,
                     "The broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
        ->required();
    status->add_flag("--json", options->json,
                     "Print the lab as JSON, as the lab service's GET /api/v1/lab answers");
    table.add(status, [options] { return labStatus(*options); });

    auto serveOptions = std::make_shared<LabServeCommandOptions>();
    CLI::App* serve = lab->add_subcommand(
        "serve", "Serve the lab's page, its JSON and metrics from the broker until SIGTERM or "
                 "Ctrl-C");
    serve
        ->add_option("--mqtt", serveOptions->mqtt,
                     "The broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
        ->required();
    addHttpDoorFlags(serve, serveOptions->door, "127.0.0.1:6880");
    serve
        ->add_option("--not-ready-after", serveOptions->notReadyMinutes,
                     "Minutes a GC may be not ready before it is an alert (default 10)")
        ->check(CLI::Range(0.0, 1440.0));
    table.add(serve, [serveOptions] { return labServe(*serveOptions); });
}

}  // namespace gc6890::cli
