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
#include "service/home_privacy.h"
#include "service/http_api.h"
#include "service/instrument_thread.h"
#include "service/loopback_address.h"
#include "service/service_token.h"

namespace gc6890 {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT only wake the main thread through a pipe; the threads doing the work
// are asked to end in order from there.
bool catchSignals()
{
    if (g_signalPipe[0] < 0 && pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a client gone mid-write is an error result, not death
    return true;
}

void awaitSignal()
{
    char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
}

// The address as --listen gave it, with the port bound: "http://0.0.0.0:6890/" for every
// address (a client here reaches it at 127.0.0.1, others at the machine's name).
std::string urlOf(const std::string& scheme, const std::string& listen, int port)
{
    std::string host = listen.substr(0, listen.rfind(':'));
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = "[" + host + "]";
    return scheme + "://" + host + ":" + std::to_string(port) + "/";
}

bool everyAddress(const std::string& listen)
{
    const std::string host = listen.substr(0, listen.rfind(':'));
    return host == "0.0.0.0" || host == "::" || host == "[::]";
}

// Each connection waiting for its request holds a descriptor (up to 1024 wait at once):
// the soft limit is raised to the hard one, so that a crowd of slow clients cannot make the
// accept fail.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int runService(const ServeOptions& options)
{
    std::string token;
    try {
        token = loadOrMakeServiceToken();
    } catch (const std::exception& error) {
        std::cerr << "gc6890 serve: " << error.what() << '\n';
        return 1;
    }
    if (!catchSignals()) {
        std::cerr << "gc6890 serve: cannot catch signals: " << std::strerror(errno) << '\n';
        return 1;
    }
    raiseDescriptorLimit();
    ServiceState state(options.service);
    try {
        state.accounts.start(token, [&state](const std::string& text) {
            std::cerr << "gc6890 serve: " << text << '\n';
            state.events.log(1, "service", text);
        });
    } catch (const std::exception& error) {
        std::cerr << "gc6890 serve: " << error.what() << '\n';
        return 1;
    }
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
    std::optional<MqttBridge> bridge;
    if (!options.mqtt.url.empty()) {
        bridge.emplace(state, options.mqtt, MethodStore(methodFolder()));
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
    const std::string url = urlOf(tls ? "https" : "http", options.service.listen, port);
    std::cout << url << std::endl;
    if (sila)
        std::cout << "SiLA 2 server on " << sila->listening() << std::endl;
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
    std::cerr << "gc6890 serve: stopped\n";
    return 0;
}

}  // namespace gc6890
