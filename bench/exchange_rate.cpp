// bench_exchange: how fast the library exchanges lines over a pseudo-terminal, beside the
// two things a user could use instead: a minimal C++ client written for the one job, and
// a Python script on python3-serial. All three talk to the same minimal C responder
// (responder.c: one fixed 40-byte reply per line) and do the same work per exchange:
// write "GCHTRI", wait for the reply, read it, parse its nine values.
//
// The library runs twice per round: with the comms log at its default level (failures
// only) and at level 2 (every line written and read). The clients run interleaved, round
// after round, and each figure is the median of the rounds. CPU is the client's own
// (user + system), per exchange.
//
// usage: bench_exchange [--rounds N] [--exchanges N] [--python-exchanges N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "external/serial_comms.h"

namespace {

using namespace benchsupport;
using Clock = std::chrono::steady_clock;

struct Figures {
    double exchangesPerSecond = 0;
    double cpuMicrosPerExchange = 0;
};

struct Samples {
    std::vector<double> rate, cpu;
    void add(const Figures& f)
    {
        rate.push_back(f.exchangesPerSecond);
        cpu.push_back(f.cpuMicrosPerExchange);
    }
};

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double cpuSeconds(const rusage& r)
{
    return seconds(r.ru_utime) + seconds(r.ru_stime);
}

std::string programFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs `work` in this process and measures it.
Figures measureHere(int exchanges, const std::function<int()>& work)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    const int done = work();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    if (done != exchanges)
        die("a client completed " + std::to_string(done) + " of " + std::to_string(exchanges) +
            " exchanges");
    return {exchanges / elapsed, (cpuSeconds(after) - cpuSeconds(before)) * 1e6 / exchanges};
}

// ---- the library ----------------------------------------------------------------------

int libraryClient(CHP6890SerialComms& channel, int exchanges)
{
    CIntFloatArray values(9);
    const CString command("GCHTRI");
    for (int i = 0; i < exchanges; ++i)
        if (!channel.SendAndReceiveToGC(command, values) || values.GetInt(0) != 2)
            return i;
    return exchanges;
}

// ---- the minimal C++ client: write, poll, buffered read, parse ----------------------------

int cppClient(const std::string& device, int exchanges)
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0)
        die("the C++ client cannot open " + device);
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    char buffer[4096];
    std::size_t used = 0;
    int done = 0;
    for (; done < exchanges; ++done) {
        if (write(fd, "GCHTRI\n", 7) != 7)
            break;
        char* end = nullptr;
        while (!(end = static_cast<char*>(std::memchr(buffer, '\n', used)))) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                break;
            const ssize_t got = read(fd, buffer + used, sizeof buffer - used);
            if (got <= 0)
                break;
            used += static_cast<std::size_t>(got);
        }
        if (!end || std::memcmp(buffer, "HTGCRI ", 7) != 0)
            break;
        *end = '\0';
        union {
            int i;
            float f;
        } slots[9];
        const char* p = buffer + 7;
        int count = 0;
        while (count < 9 && *p) {
            const char* comma = std::strchr(p, ',');
            const char* stop = comma ? comma : end;
            if (std::memchr(p, '.', static_cast<std::size_t>(stop - p)))
                slots[count].f = std::strtof(p, nullptr);
            else
                slots[count].i = static_cast<int>(std::strtol(p, nullptr, 10));
            ++count;
            p = comma ? comma + 1 : end;
        }
        if (count != 9 || slots[0].i != 2)
            break;
        const std::size_t lineLength = static_cast<std::size_t>(end - buffer) + 1;
        std::memmove(buffer, buffer + lineLength, used - lineLength);
        used -= lineLength;
    }
    close(fd);
    return done;
}

// ---- the Python client -----------------------------------------------------------------

std::string pythonProgram()
{
    // python3-serial is a Debian package: the system interpreter has it.
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

Figures pythonClient(const std::string& device, int exchanges)
{
    int output[2];
    if (pipe(output) != 0)
        die("pipe failed");
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        const std::string python = pythonProgram();
        const std::string count = std::to_string(exchanges);
        execlp(python.c_str(), python.c_str(), GC6890_BENCH_PYTHON_CLIENT, device.c_str(),
               count.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    std::string text;
    char chunk[64];
    for (ssize_t got; (got = read(output[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<std::size_t>(got));
    close(output[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (std::atoi(text.c_str()) != exchanges)
        die("the Python client failed (is python3-serial installed? ./go setup installs it)");
    // The interpreter's start-up is in these figures; main() takes it off.
    return {exchanges / elapsed, cpuSeconds(usage) * 1e6 / exchanges};
}

struct Cost {
    double seconds = 0;
    double cpuSeconds = 0;
};

// The cost of starting the interpreter and opening the port, with no exchange at all.
Cost pythonStartup(const std::string& device)
{
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::string python = pythonProgram();
        execlp(python.c_str(), python.c_str(), GC6890_BENCH_PYTHON_CLIENT, device.c_str(), "0",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {std::chrono::duration<double>(Clock::now() - start).count(), cpuSeconds(usage)};
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = std::max(5, intOption(argc, argv, "--rounds", 7));
    const int exchanges = intOption(argc, argv, "--exchanges", 20000);
    const int pythonExchanges = intOption(argc, argv, "--python-exchanges", 5000);

    const PrivateHome home;
    // The responder: started once, answering every client in turn.
    const DeviceProcess responder(programFolder() + "/gc6890-bench-responder", {});
    gc6890::PortSettings port;
    port.device = responder.device();
    gc6890::WritePortSettings("Inlets\\Hubrel\\Varnock", port);

    const std::string logFile = home.path() + "/c/dravik/hp6890.err";
    Samples library, traced, cpp, python;
    for (int round = 0; round < rounds; ++round) {
        for (int level : {1, 2}) {
            // The log's level is read when the channel is made.
            WriteRegistryPath("Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel", level,
                              HKEY_LOCAL_MACHINE);
            CHP6890SerialComms channel;
            if (!channel.OpenSerialPort())
                die("the library cannot open " + responder.device());
            // The GC side counts as started: the responder answers no start-up.
            CHP6890SerialComms::m_sCommsStatus = 1;
            (level == 1 ? library : traced).add(measureHere(exchanges, [&] {
                return libraryClient(channel, exchanges);
            }));
            std::remove(logFile.c_str());  // never full: no backup question in between
        }
        cpp.add(measureHere(exchanges, [&] { return cppClient(responder.device(), exchanges); }));
    }
    // The interpreter's rounds come after the others': the client that ran next after it
    // (the library, first in each round) paid for the caches it had swept, 19.3 against
    // 12.9 us per exchange on a quiet machine.
    for (int round = 0; round < rounds; ++round) {
        const Cost startup = pythonStartup(responder.device());
        const Figures whole = pythonClient(responder.device(), pythonExchanges);
        // Take the start-up off: seconds and CPU of the exchanges alone.
        const double runSeconds = pythonExchanges / whole.exchangesPerSecond - startup.seconds;
        const double runCpu =
            whole.cpuMicrosPerExchange * pythonExchanges / 1e6 - startup.cpuSeconds;
        python.add({pythonExchanges / runSeconds, runCpu * 1e6 / pythonExchanges});
    }

    const double libRate = median(library.rate), libCpu = median(library.cpu);
    const double tracedRate = median(traced.rate), tracedCpu = median(traced.cpu);
    const double cppRate = median(cpp.rate), cppCpu = median(cpp.cpu);
    const double pyRate = median(python.rate), pyCpu = median(python.cpu);
    std::printf("Exchange over a pseudo-terminal: GCHTRI, 40-byte reply, 9 values.\n");
    std::printf("Median of %d interleaved rounds (%d exchanges per round; Python %d, its start-up "
                "taken off).\n\n",
                rounds, exchanges, pythonExchanges);
    std::printf("%-16s %14s %18s\n", "client", "exchanges/s", "CPU us/exchange");
    std::printf("%-16s %14.0f %18.2f\n", "library", libRate, libCpu);
    std::printf("%-16s %14.0f %18.2f\n", "library, log 2", tracedRate, tracedCpu);
    std::printf("%-16s %14.0f %18.2f\n", "C++ client", cppRate, cppCpu);
    std::printf("%-16s %14.0f %18.2f\n\n", "Python client", pyRate, pyCpu);
    const double rateVsCpp = libRate / cppRate, cpuVsCpp = libCpu / cppCpu;
    const double rateVsPy = libRate / pyRate, cpuVsPy = libCpu / pyCpu;
    std::printf(
        "library / C++ client: rate %.2f (goal >= 0.90: %s), CPU %.2fx (goal <= 1.1x: %s)\n",
        rateVsCpp, verdict(rateVsCpp >= 0.90), cpuVsCpp, verdict(cpuVsCpp <= 1.1));
    std::printf(
        "library / Python:     rate %.2fx (goal >= 4x: %s), CPU %.3fx (goal <= 0.125x: %s)\n",
        rateVsPy, verdict(rateVsPy >= 4.0), cpuVsPy, verdict(cpuVsPy <= 0.125));
    const double tracedVsLib = tracedCpu / libCpu;
    std::printf("log level 2 / level 1: rate %.2f, CPU %.2fx (goal <= 1.5x: %s)\n",
                tracedRate / libRate, tracedVsLib, verdict(tracedVsLib <= 1.5));
    return 0;
}
