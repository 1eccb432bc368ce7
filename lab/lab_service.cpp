#include "lab/lab_service.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "lab/lab_http.h"
#include "lab/lab_subscriber.h"
#include "service/accounts.h"
#include "service/server_process.h"
#include "service/service_token.h"

namespace gc6890::lab {

int runLabService(const LabServeOptions& options)
{
    const auto log = [](const std::string& text) { std::cerr << "gc6890 lab: " << text << '\n'; };
    Accounts accounts;
    try {
        // The home's token (an admin's) and users file: the lab's own home, or an
        // instrument service's to share its accounts.
        accounts.start(loadOrMakeServiceToken(), log);
    } catch (const std::exception& error) {
        log(error.what());
        return 1;
    }
    if (!catchSignals()) {
        log("cannot catch signals");
        return 1;
    }
    raiseDescriptorLimit();
    LabOptions labOptions = options.lab;
    // Documented in HACKING.md and docs/performance.md: bench/lab_load's hour of history.
    if (const char* backfill = std::getenv("GC6890_LAB_OVEN_BACKFILL"))
        labOptions.backfillOven = std::string(backfill) == "1";
    LabModel model(labOptions);
    LabHttp http(model, options.http, accounts, options.openApiPath);
    HttpFront& front = http.front();
    std::error_code ignored;
    if (!options.webDir.empty() && std::filesystem::is_directory(options.webDir, ignored) &&
        !(front.serveFolder("/chart.js", options.chartJsDir) &&
          front.serveFolder("/", options.webDir)))
        log("no lab page: " + options.chartJsDir + " is missing; the API is served all the same");
    const bool tls = !options.tlsCertificate.empty();
    if (tls) {
        try {
            front.useTls(options.tlsCertificate, options.tlsKey);
        } catch (const std::exception& failure) {
            log(failure.what());
            return 1;
        }
    }
    std::string error;
    const int port = front.bind(options.http.listen, error);
    if (port < 0) {
        log(error);
        return error.rfind("--listen", 0) == 0 ? 2 : 1;
    }
    LabSubscriber subscriber(model, options.mqtt, log);
    if (!subscriber.start(error)) {
        log(error);
        return 2;
    }
    const std::string url = urlOf(tls ? "https" : "http", options.http.listen, port);
    std::cout << url << std::endl;
    log("listening on " + url + " for the lab on " + options.mqtt.url +
        "; SIGTERM or Ctrl-C ends it");
    std::thread server([&front] { front.serve(); });
    awaitSignal();
    subscriber.stop();
    http.stop();
    server.join();
    log("stopped");
    return 0;
}

}  // namespace gc6890::lab
