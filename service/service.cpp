#include "service/service.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "external/inlet_utils.h"
#include "platform/platform.h"
#include "service/home_claim.h"
#include "service/home_privacy.h"
#include "service/http_api.h"
#include "service/instrument_thread.h"
#include "service/loopback_address.h"
#include "service/server_process.h"
#include "service/service_token.h"

namespace gc6890 {

namespace {

// The service's token (made at the first start) with the signals that end the service
// caught; nothing, said on standard error, when either cannot be had.
std::optional<std::string> serviceTokenAndSignals()
{
    std::string token;
    try {
        token = loadOrMakeServiceToken();
    } catch (const std::exception& error) {
        std::cerr << "gc6890 serve: " << error.what() << '\n';
        return std::nullopt;
    }
    if (!catchSignals()) {
        std::cerr << "gc6890 serve: cannot catch signals: " << std::strerror(errno) << '\n';
        return std::nullopt;
    }
    return token;
}

// The accounts, read now and looked at again while tokens are checked; their troubles go
// to standard error and the service's log.
bool startAccounts(ServiceState& state, const std::string& token)
{
    try {
        state.accounts.start(token, [&state](const std::string& text) {
            std::cerr << "gc6890 serve: " << text << '\n';
            state.events.log(1, "service", text);
        });
        return true;
    } catch (const std::exception& error) {
        std::cerr << "gc6890 serve: " << error.what() << '\n';
        return false;
    }
}

// A trail that cannot be opened stops the start: a service that would act unrecorded is
// worse than one that does not start. What the opening found is logged.
bool openAuditTrail(ServiceState& state)
{
    std::string error;
    if (!state.audit.open(homeDirectory() + "/audit", error)) {
        std::cerr << "gc6890 serve: " << error << '\n';
        return false;
    }
    for (const std::string& notice : state.audit.notices()) {
        std::cerr << "gc6890 serve: audit trail: " << notice << '\n';
        state.events.log(1, "service", "audit trail: " + notice);
    }
    return true;
}

// Standard error's account of the start: where it listens, for which instrument, and what
// the address and the home expose.
void tellHowItServes(const ServeOptions& options, const std::string& url, bool tls)
{
    std::cerr << "gc6890 serve: listening on " << url << " for the instrument on "
              << options.service.device << "; SIGTERM or Ctrl-C ends the service\n";
    if (const std::string warning = homePrivacyWarning(homeDirectory()); !warning.empty())
        std::cerr << "gc6890 serve: " << warning << '\n';
    const std::string host = options.service.listen.substr(0, options.service.listen.rfind(':'));
    const bool loopback =
        isLoopback(host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host);
    if (!loopback && options.service.openReads)
        std::cerr << "gc6890 serve: --open-reads: whoever reaches the service can read the "
                     "instrument's status, events, methods and log without a token\n";
    else if (!loopback)
        std::cerr << "gc6890 serve: reads need a token too, as the service listens beyond "
                     "loopback (--open-reads lets them through)\n";
    if (everyAddress(options.service.listen) && !tls)
        std::cerr << "gc6890 serve: warning: listening on every address of this machine, and "
                     "nothing is encrypted; --tls-cert and --tls-key, or a reverse proxy with "
                     "TLS in front of 127.0.0.1, encrypt it (docs/service.md)\n";
}

}  // namespace

int runService(const ServeOptions& options)
{
    HomeClaim home;
    if (std::string error; !home.claim(homeDirectory(), error)) {
        std::cerr << "gc6890 serve: " << error << '\n';
        return 1;
    }
    const std::optional<std::string> token = serviceTokenAndSignals();
    if (!token)
        return 1;
    raiseDescriptorLimit();
    ServiceState state(options.service);
    if (!startAccounts(state, *token) || !openAuditTrail(state))
        return 1;
    InstrumentThread instrument(state);
    HttpApi api(state, instrument, MethodStore(methodFolder()), options.openApiPath);
    if (!api.serveFiles(options.webDir, options.chartJsDir))
        std::cerr << "gc6890 serve: no dashboard: " << options.webDir << " or "
                  << options.chartJsDir << " is missing; the API is served all the same\n";
    const bool tls = !options.tlsCertificate.empty();
    if (tls) {
        try {
            api.useTls(options.tlsCertificate, options.tlsKey);
        } catch (const std::exception& failure) {
            std::cerr << "gc6890 serve: " << failure.what() << '\n';
            return 1;
        }
    }
    std::string error;
    const int port = api.bind(options.service.listen, error);
    if (port < 0) {
        std::cerr << "gc6890 serve: " << error << '\n';
        return error.rfind("--listen", 0) == 0 ? 2 : 1;
    }
    const std::string url = urlOf(tls ? "https" : "http", options.service.listen, port);
    std::optional<MqttBridge> bridge;
    if (!options.mqtt.url.empty()) {
        MqttOptions mqtt = options.mqtt;
        if (mqtt.publicUrl.empty())
            mqtt.publicUrl = publicUrlOf(url, options.service.listen);
        bridge.emplace(state, mqtt, MethodStore(methodFolder()));
        if (!bridge->start(error)) {
            std::cerr << "gc6890 serve: " << error << '\n';
            return 2;
        }
    }
    std::optional<sila::SilaServer> sila;
    if (!options.sila.address.empty()) {
        sila.emplace(state, instrument, MethodStore(methodFolder()), options.sila);
        int exitCode = 1;
        if (!sila->start(error, exitCode)) {
            std::cerr << "gc6890 serve: " << error << '\n';
            return exitCode;
        }
    }
    std::cout << url << std::endl;
    if (sila)
        std::cout << "SiLA 2 server on " << sila->listening() << std::endl;
    tellHowItServes(options, url, tls);

    instrument.start();
    std::thread http([&api] { api.serve(); });
    awaitSignal();
    std::cerr << "gc6890 serve: stopping: the exchange in flight finishes, then the line closes\n";
    instrument.stop();
    instrument.join();
    if (bridge)
        bridge->stop();
    if (sila)
        sila->stop();
    state.events.close();
    api.stop();
    http.join();
    // Every door is closed: the tokenless refusals counted and not yet written go in now.
    state.audit.flush();
    std::cerr << "gc6890 serve: stopped\n";
    return 0;
}

}  // namespace gc6890
