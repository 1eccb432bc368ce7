#include "service/server_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace gc6890 {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

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

// Where others reach the dashboard when --public-url does not say: the listening URL, with
// the machine's name for "every address" (0.0.0.0 leads nowhere from another machine).
std::string publicUrlOf(const std::string& url, const std::string& listen)
{
    if (!everyAddress(listen))
        return url;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name)
        return url;
    const std::size_t hostStart = url.find("://") + 3;
    const std::size_t portColon = url.rfind(':');
    return url.substr(0, hostStart) + name + url.substr(portColon);
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

}  // namespace gc6890
