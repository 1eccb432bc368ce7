// bench_exchange: how fast the library exchanges lines over a pseudo-terminal, beside the
// two things a user could use instead: a minimal C++ client written for the one job, and
// a Python script on python3-serial. All three talk to the same minimal C responder
// (responder.c: one fixed 40-byte reply per line) and do the same work per exchange:
// write "GCHTRI", wait for the reply, read it, parse its nine values.
//
// The library runs twice per round: with the comms log at its default level (failures
// only) and at level 2 (every line written and read). The C++ client also runs a second
// time given what the library keeps and a bare client does not (the port mutex, the
// interrupt pipe in its wait, the read's deadline: see Guarantees), so that the price of
// those is measured apart from the rest. The clients run interleaved, round after round,
// and each figure is the median of the rounds. CPU is the client's own (user + system),
// per exchange. The processor's model is printed beside the figures: they compare clients
// on one machine, never machines.
//
// usage: bench_exchange [--rounds N] [--exchanges N] [--python-exchanges N]
//        bench_exchange --only library|library-log2|cpp[+mutex][+interrupt][+deadline]|cpp+kept
//                       [--rounds N] [--exchanges N]
// --only runs one client's loop alone (one round unless --rounds says more), for counting
// what that loop does (`strace -c -f`, `valgrind --tool=callgrind`) without the others.
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
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "external/port_interrupt.h"
#include "external/serial_comms.h"
#include "platform/mutex.h"

namespace {

using namespace benchsupport;
using Clock = std::chrono::steady_clock;

struct Figures {
    double exchangesPerSecond = 0;
    double cpuMicrosPerExchange = 0;
    double switchesPerExchange = 0;  // the client's context switches, voluntary or not
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
    const long switches = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
    return {exchanges / elapsed, (cpuSeconds(after) - cpuSeconds(before)) * 1e6 / exchanges,
            static_cast<double>(switches) / exchanges};
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

// What the library keeps that the bare client does not, each of which the C++ client can
// be given, so that the price of each is measured alone:
// - the port mutex: the library's named mutex, taken around the write and around the
//   read, so that programs sharing a port never interleave lines, and a killed holder
//   never blocks the port (a robust, process-shared mutex);
// - the interrupt: the wait polls the port interrupt's pipe beside the device, so that a
//   host stopping from another thread or a signal handler ends the wait at once;
// - the read's deadline: one clock read as the read starts, so that bytes dribbling in
//   without a line feed cannot hold the read past its time-out.
struct Guarantees {
    bool portMutex = false, interrupt = false, deadline = false;
    static Guarantees all() { return {true, true, true}; }
};

// Where the read's start goes, so that the clock read is not optimised away.
volatile long long g_readStart = 0;

int cppClient(const std::string& device, int exchanges, Guarantees kept = {})
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0)
        die("the C++ client cannot open " + device);
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    std::unique_ptr<CMutex> mutex;
    if (kept.portMutex)
        mutex = std::make_unique<CMutex>(FALSE, gc6890::portMutexName(device).c_str());
    const int interrupt = gc6890::PortInterruptFd();
    char buffer[4096];
    std::size_t used = 0;
    int done = 0;
    for (; done < exchanges; ++done) {
        if (mutex && !mutex->Lock(46000))
            break;
        const bool written = write(fd, "GCHTRI\n", 7) == 7;
        if (mutex)
            mutex->Unlock();
        if (!written)
            break;
        if (mutex && !mutex->Lock(46000))
            break;
        if (kept.deadline)
            g_readStart = Clock::now().time_since_epoch().count();
        char* end = nullptr;
        while (!(end = static_cast<char*>(std::memchr(buffer, '\n', used)))) {
            pollfd p[2] = {{fd, POLLIN, 0}, {interrupt, POLLIN, 0}};
            if (poll(p, kept.interrupt ? 2 : 1, 5000) <= 0 || !p[0].revents)
                break;
            const ssize_t got = read(fd, buffer + used, sizeof buffer - used);
            if (got <= 0)
                break;
            used += static_cast<std::size_t>(got);
        }
        if (mutex)
            mutex->Unlock();
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

// One library round on a fresh channel, its comms log at `level`.
Figures libraryRound(const std::string& device, const std::string& logFile, int level,
                     int exchanges)
{
    // The log's level is read when the channel is made.
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel", level, HKEY_LOCAL_MACHINE);
    Figures figures;
    {
        CHP6890SerialComms channel;
        if (!channel.OpenSerialPort())
            die("the library cannot open " + device);
        // The GC side counts as started: the responder answers no start-up.
        CHP6890SerialComms::m_sCommsStatus = 1;
        figures = measureHere(exchanges, [&] { return libraryClient(channel, exchanges); });
    }
    std::remove(logFile.c_str());  // never full: no backup question in between
    return figures;
}

// "cpp", or "cpp" followed by the guarantees it is given: "+mutex", "+interrupt",
// "+deadline", or "+kept" for all three.
bool parseCppClient(const std::string& name, Guarantees& kept)
{
    if (name.compare(0, 3, "cpp") != 0)
        return false;
    kept = {};
    for (std::size_t at = 3; at < name.size();) {
        if (name[at] != '+')
            return false;
        const std::size_t next = std::min(name.find('+', at + 1), name.size());
        const std::string part = name.substr(at + 1, next - at - 1);
        if (part == "mutex")
            kept.portMutex = true;
        else if (part == "interrupt")
            kept.interrupt = true;
        else if (part == "deadline")
            kept.deadline = true;
        else if (part == "kept")
            kept = Guarantees::all();
        else
            return false;
        at = next;
    }
    return true;
}

// --only CLIENT: that client's rounds alone, each printed.
int runOnly(const std::string& client, int rounds, int exchanges, const std::string& device,
            const std::string& logFile)
{
    std::printf("%s alone, %d round(s) of %d exchanges, on %s (load average %s)\n", client.c_str(),
                rounds, exchanges, processorModel().c_str(), loadAverage().c_str());
    Guarantees kept;
    for (int round = 0; round < rounds; ++round) {
        Figures f;
        if (client == "library" || client == "library-log2")
            f = libraryRound(device, logFile, client == "library" ? 1 : 2, exchanges);
        else if (parseCppClient(client, kept))
            f = measureHere(exchanges, [&] { return cppClient(device, exchanges, kept); });
        else
            die("--only takes library, library-log2, cpp or cpp+mutex+interrupt+deadline "
                "(+kept: all three), not " +
                client);
        std::printf("%14.0f exchanges/s %10.2f CPU us/exchange %6.2f context switches/exchange\n",
                    f.exchangesPerSecond, f.cpuMicrosPerExchange, f.switchesPerExchange);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string only = textOption(argc, argv, "--only", "");
    const int rounds = only.empty() ? std::max(5, intOption(argc, argv, "--rounds", 7))
                                    : std::max(1, intOption(argc, argv, "--rounds", 1));
    const int exchanges = intOption(argc, argv, "--exchanges", 20000);
    const int pythonExchanges = intOption(argc, argv, "--python-exchanges", 5000);

    const PrivateHome home;
    // The responder: started once, answering every client in turn.
    const DeviceProcess responder(programFolder() + "/gc6890-bench-responder", {});
    gc6890::PortSettings port;
    port.device = responder.device();
    gc6890::WritePortSettings("Inlets\\Hubrel\\Varnock", port);

    const std::string logFile = home.path() + "/c/dravik/hp6890.err";
    if (!only.empty())
        return runOnly(only, rounds, exchanges, responder.device(), logFile);
    const std::string startLoad = loadAverage();
    Samples library, traced, cpp, kept, python;
    const std::string& device = responder.device();
    const std::vector<std::function<void()>> clients = {
        [&] { library.add(libraryRound(device, logFile, 1, exchanges)); },
        [&] { cpp.add(measureHere(exchanges, [&] { return cppClient(device, exchanges); })); },
        [&] {
            kept.add(measureHere(exchanges,
                                 [&] { return cppClient(device, exchanges, Guarantees::all()); }));
        },
    };
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another of the three compared, so that none always runs
        // first, after the log's round (whose file the system writes back meanwhile).
        for (std::size_t k = 0; k < clients.size(); ++k)
            clients[(k + static_cast<std::size_t>(round)) % clients.size()]();
        traced.add(libraryRound(device, logFile, 2, exchanges));
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
    const double keptRate = median(kept.rate), keptCpu = median(kept.cpu);
    const double pyRate = median(python.rate), pyCpu = median(python.cpu);
    std::printf("Exchange over a pseudo-terminal: GCHTRI, 40-byte reply, 9 values.\n");
    // Figures of one processor are not comparable with another's: the model goes beside them.
    std::printf("Processor: %s; load average %s at the start, %s at the end.\n",
                processorModel().c_str(), startLoad.c_str(), loadAverage().c_str());
    std::printf("Median of %d interleaved rounds (%d exchanges per round; Python %d, its start-up "
                "taken off).\n\n",
                rounds, exchanges, pythonExchanges);
    std::printf("%-22s %14s %18s\n", "client", "exchanges/s", "CPU us/exchange");
    std::printf("%-22s %14.0f %18.2f\n", "library", libRate, libCpu);
    std::printf("%-22s %14.0f %18.2f\n", "library, log 2", tracedRate, tracedCpu);
    std::printf("%-22s %14.0f %18.2f\n", "C++ client", cppRate, cppCpu);
    std::printf("%-22s %14.0f %18.2f\n", "C++ client, guarantees", keptRate, keptCpu);
    std::printf("%-22s %14.0f %18.2f\n\n", "Python client", pyRate, pyCpu);
    const double rateVsCpp = libRate / cppRate, cpuVsCpp = libCpu / cppCpu;
    const double rateVsKept = libRate / keptRate, cpuVsKept = libCpu / keptCpu;
    const double rateVsPy = libRate / pyRate, cpuVsPy = libCpu / pyCpu;
    std::printf(
        "library / C++ client: rate %.2f (goal >= 0.90: %s), CPU %.2fx (goal <= 1.1x: %s)\n",
        rateVsCpp, verdict(rateVsCpp >= 0.90), cpuVsCpp, verdict(cpuVsCpp <= 1.1));
    // The guarantees' own price: the C++ client given the port mutex, the interrupt and the
    // read's deadline, against the bare one. The goal applies to what the library adds on
    // top of them as well.
    std::printf("the guarantees alone (C++ client with them / without): rate %.2f, CPU %.2fx\n",
                keptRate / cppRate, keptCpu / cppCpu);
    std::printf("library / C++ client with the guarantees: rate %.2f (goal >= 0.90: %s), CPU "
                "%.2fx (goal <= 1.1x: %s)\n",
                rateVsKept, verdict(rateVsKept >= 0.90), cpuVsKept, verdict(cpuVsKept <= 1.1));
    std::printf(
        "library / Python:     rate %.2fx (goal >= 4x: %s), CPU %.3fx (goal <= 0.125x: %s)\n",
        rateVsPy, verdict(rateVsPy >= 4.0), cpuVsPy, verdict(cpuVsPy <= 0.125));
    const double tracedVsLib = tracedCpu / libCpu;
    std::printf("log level 2 / level 1: rate %.2f, CPU %.2fx (goal <= 1.5x: %s)\n",
                tracedRate / libRate, tracedVsLib, verdict(tracedVsLib <= 1.5));
    return 0;
}
