// gc6890 serve: hold the instrument and make it reachable over HTTP (docs/service.md).
#include <cstring>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "cli_error.h"
#include "command_table.h"
#include "http_door_flags.h"
#include "platform/installation.h"
#include "port_choice.h"
#include "service/service.h"
#include "service/service_token.h"

namespace gc6890::cli {

namespace {

struct ServeCommandOptions {
    HttpDoorFlags door;
    std::string name;
    std::string mqtt;
    bool mqttCommands = false;
    std::string publicUrl;
    std::string web;
    bool showToken = false;
    sila::SilaOptions sila;
};

// The API description, installed with the program's data (the source tree's in a build).
std::string openApiPath()
{
    return dataDirectory() + "/docs/openapi.json";
}

// The host's name and the device's base name ("lab3-ttyUSB0"): unique in a lab as long as
// host names are.
std::string defaultName(const std::string& device)
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !*host)
        std::strcpy(host, "localhost");
    std::string name = std::string(host) + "-" + std::filesystem::path(device).filename().string();
    for (char& c : name)
        if (c == '+' || c == '#' || c == '/')
            c = '_';
    return name;
}

// The SiLA 2 flags fill the server's own options, which the service takes as they stand.
void addSilaFlags(CLI::App* command, sila::SilaOptions& sila)
{
    command->add_option("--sila", sila.address,
                        "Serve SiLA 2 (gRPC over TLS) on [ADDRESS:]PORT (address default "
                        "127.0.0.1; port 0: a free one); docs/sila.md");
    command->add_option("--sila-cert", sila.certificateFile,
                        "The SiLA 2 server's certificate (PEM, with its chain) instead of the "
                        "one the service makes");
    command->add_option("--sila-key", sila.keyFile, "The key of --sila-cert (PEM)");
    command->add_flag("--sila-insecure", sila.insecure,
                      "Serve SiLA 2 without TLS (loopback addresses only)");
}

void checkSilaFlags(const sila::SilaOptions& sila)
{
    if (sila.address.empty() &&
        (!sila.certificateFile.empty() || !sila.keyFile.empty() || sila.insecure))
        throw CommandFailure(kExitBadInput,
                             "--sila-cert, --sila-key and --sila-insecure go with --sila");
}

int serve(const ServeCommandOptions& options)
{
    if (options.showToken) {
        try {
            std::cout << loadOrMakeServiceToken() << '\n';
        } catch (const std::exception& error) {
            throw CommandFailure(kExitFailed, error.what());
        }
        return kExitOk;
    }
    checkSilaFlags(options.sila);
    options.door.checkTls();
    ServeOptions serve;
    serve.tlsCertificate = options.door.tlsCertificate;
    serve.tlsKey = options.door.tlsKey;
    serve.service.listen = options.door.listen;
    serve.service.allowHosts = options.door.allowHosts;
    serve.service.openReads = options.door.openReads;
    serve.service.device = chosenDevice();
    serve.service.name = options.name.empty() ? defaultName(serve.service.device) : options.name;
    serve.mqtt.url = options.mqtt;
    serve.mqtt.commands = options.mqttCommands;
    serve.mqtt.publicUrl = options.publicUrl;
    std::string error;
    if (!options.mqtt.empty() && !readMqttSettings(serve.mqtt, error))
        throw CommandFailure(kExitFailed, error);
    serve.openApiPath = openApiPath();
    serve.webDir = options.web.empty() ? dataDirectory() + "/web" : options.web;
    serve.chartJsDir = GC6890_CHARTJS_DIR;
    serve.sila = options.sila;
    return runService(serve);
}

}  // namespace

void addServeCommand(CommandTable& table)
{
    CLI::App* command = table.app().add_subcommand(
        "serve", "Hold the instrument and serve it over HTTP until SIGTERM or Ctrl-C");
    auto options = std::make_shared<ServeCommandOptions>();
    addHttpDoorFlags(command, options->door, "127.0.0.1:6890");
    command->add_option("--name", options->name,
                        "The instrument's name in the status and on the broker (default: the "
                        "host's name and the device's base name)");
    command->add_option("--mqtt", options->mqtt,
                        "Publish to the MQTT broker at mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
    command->add_flag("--mqtt-commands", options->mqttCommands,
                      "Take load, run, stop, reset and zones commands from the broker");
    command->add_option("--public-url", options->publicUrl,
                        "Where others reach this service's dashboard, published on the broker "
                        "for the lab page (default: the URL it listens on)");
    command->add_option("--web", options->web,
                        "The dashboard's folder (default: the installed one, share/gc6890/web)");
    addSilaFlags(command, options->sila);
    command->add_flag("--show-token", options->showToken,
                      "Print the service's bearer token (made when there is none yet) and exit");
    table.add(command, [options] { return serve(*options); });
}

}  // namespace gc6890::cli
