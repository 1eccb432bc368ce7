// bench_operations: whole operations of the library against gc6890-sim on a line paced at
// 9600 and 19200 baud (8N1), each against the time the line itself needs.
//
// For every operation: the bytes that crossed the line in both directions (counted by a
// wrapper around the port), the ideal time = bytes x 10 / baud + the simulator's own think
// time (the answers it held back on purpose, which it states in its trace as "~ held N ms
// after HEAD", N in instrument time; the simulator runs --speed times faster, so N / speed
// real milliseconds), the elapsed time, and elapsed / ideal against the goal <= 1.01.
//
// Operations: the GC's status poll (ReadStatus), a whole method download (the GC's
// LoadMethod), the sampler's load (its LoadMethod) and an injection (InjectSample) answered
// at once; and an injection answered late, when the sampler has prepared and injected.
// Every run starts fresh simulators; runs interleave the operations and the baud rates,
// and each figure is the median of the runs. A last row measures the floor: a minimal
// client with the status poll's seven commands, no library, against the same simulator;
// what the pseudo-terminal, the simulator and the scheduler add by themselves.
//
// usage: bench_operations [--runs N (7)] [--speed N (100)] [--method FILE] [--baud N]...
// (--baud repeatable; 9600 and 19200 when none is given)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "external/inlet_utils.h"
#include "external/serial_comms.h"
#include "gc/varnock_gc_system.h"
#include "interface/inlet_system_status.h"
#include "platform/platform.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

using namespace benchsupport;
using Clock = std::chrono::steady_clock;

constexpr double kGoalRatio = 1.01;

// ---- bytes on the line ----------------------------------------------------------------

struct ByteCount {
    std::uint64_t written = 0;  // host to instrument
    std::uint64_t read = 0;     // instrument to host
};

ByteCount g_bytes;

// The port as the library opens it, counting what passes through.
class CountingPort : public gc6890::SerialPortBackend {
public:
    explicit CountingPort(std::shared_ptr<SerialPortBackend> port) : m_port(std::move(port)) {}
    bool open(std::string& error) override { return m_port->open(error); }
    void close() override { m_port->close(); }
    bool isOpen() const override { return m_port->isOpen(); }
    bool write(std::string_view bytes, int timeoutMs) override
    {
        const bool ok = m_port->write(bytes, timeoutMs);
        if (ok)
            g_bytes.written += bytes.size();
        return ok;
    }
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override
    {
        const ReadResult result = m_port->read(buffer, size, timeoutMs);
        if (result.status == ReadStatus::Data)
            g_bytes.read += result.count;
        return result;
    }
    std::string describe() const override { return m_port->describe(); }

private:
    std::shared_ptr<SerialPortBackend> m_port;
};

// ---- the simulator ----------------------------------------------------------------------

// gc6890-sim started with the given options and --trace; the trace goes to a file, read
// after each operation for what the simulator held back.
class Simulator {
public:
    Simulator(const std::string& program, std::vector<std::string> options,
              const std::string& traceFile)
        : m_process(program, withTrace(std::move(options)), traceFile), m_traceFile(traceFile)
    {}
    const std::string& device() const { return m_process.device(); }

    // The trace written since the last call.
    std::string newTrace()
    {
        std::ifstream file(m_traceFile);
        file.seekg(static_cast<std::streamoff>(m_traceRead));
        std::stringstream text;
        text << file.rdbuf();
        m_traceRead += text.str().size();
        return text.str();
    }

private:
    static std::vector<std::string> withTrace(std::vector<std::string> options)
    {
        options.push_back("--trace");
        return options;
    }

    DeviceProcess m_process;
    std::string m_traceFile;
    std::size_t m_traceRead = 0;
};

// What a stretch of the simulator's trace says: instrument milliseconds held back on
// purpose, and the bytes of the lines it received and sent (each with its line feed).
struct TraceFigures {
    double heldInstrumentMs = 0;
    std::uint64_t bytes = 0;
};

TraceFigures readTrace(const std::string& trace)
{
    TraceFigures figures;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("~ held ", 0) == 0)
            figures.heldInstrumentMs += std::atof(line.c_str() + 7);
        else if (line.rfind("> ", 0) == 0 || line.rfind("< ", 0) == 0)
            figures.bytes += line.size() - 2 + 1;
    }
    return figures;
}

// ---- one session: the GC and sampler objects on one simulator -------------------------

class Session {
public:
    explicit Session(const std::string& device)
    {
        gc6890::PortSettings port;
        port.device = device;
        gc6890::WritePortSettings("Inlets\\Hubrel\\Varnock", port);
        m_gc = std::make_unique<CVarnockGCSystem>();
        if (!m_gc->InitialiseComms())
            die("no communication with the GC on " + device);
        m_sampler = std::make_unique<CVarnockAutoSampler>();
        if (!m_sampler->InitialiseComms())
            die("no communication with the sampler on " + device);
        m_sampler->Initialise();
    }
    ~Session()
    {
        m_sampler->CloseDownComms();
        m_gc->CloseDownComms();
        m_sampler.reset();
        m_gc.reset();
    }
    CVarnockGCSystem& gc() { return *m_gc; }
    CVarnockAutoSampler& sampler() { return *m_sampler; }

private:
    std::unique_ptr<CVarnockGCSystem> m_gc;
    std::unique_ptr<CVarnockAutoSampler> m_sampler;
};

// ---- measuring ---------------------------------------------------------------------------

struct Sample {
    double elapsedMs = 0;
    double idealMs = 0;
    double heldMs = 0;
    std::uint64_t bytesOut = 0, bytesIn = 0;
};

struct Figures {
    std::vector<Sample> samples;
    std::vector<std::string> mismatches;  // host and simulator disagree on the bytes
};

std::string g_lastMessage;

Sample measure(Simulator& sim, int baud, double speed, const char* what,
               const std::function<int()>& operation, Figures& figures)
{
    sim.newTrace();  // what went before is not this operation's
    g_bytes = {};
    g_lastMessage.clear();
    const auto start = Clock::now();
    const int result = operation();
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (result != 1)
        die(std::string(what) + " failed at " + std::to_string(baud) + " baud" +
            (g_lastMessage.empty() ? "" : ": " + g_lastMessage));
    const TraceFigures trace = readTrace(sim.newTrace());
    Sample sample;
    sample.elapsedMs = elapsedMs;
    sample.bytesOut = g_bytes.written;
    sample.bytesIn = g_bytes.read;
    sample.heldMs = trace.heldInstrumentMs / speed;
    const double wireMs =
        static_cast<double>(sample.bytesOut + sample.bytesIn) * 10.0 * 1000.0 / baud;
    sample.idealMs = wireMs + sample.heldMs;
    if (trace.bytes != sample.bytesOut + sample.bytesIn)
        figures.mismatches.push_back(std::to_string(sample.bytesOut + sample.bytesIn) +
                                     " bytes counted, " + std::to_string(trace.bytes) +
                                     " in the simulator's trace");
    figures.samples.push_back(sample);
    return sample;
}

// The floor: what the simulator, the pseudo-terminal and the scheduler cost without the
// library. A minimal client writes the status poll's seven commands on the device itself
// (write, poll, buffered read up to the line feed) and counts the bytes.
int bareClient(const std::string& device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const char* const commands[] = {"GCHTRI\n",   "GCHTRY\n",   "GCHTST\n",  "OVHTST\n",
                                    "C1HTPI ?\n", "C2HTPI ?\n", "C1HTFI ?\n"};
    int done = 0;
    for (const char* command : commands) {
        const std::size_t length = std::strlen(command);
        if (::write(fd, command, length) != static_cast<ssize_t>(length))
            break;
        g_bytes.written += length;
        char buffer[512];
        bool complete = false;
        while (!complete) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                break;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            g_bytes.read += static_cast<std::uint64_t>(got);
            complete = buffer[got - 1] == '\n';
        }
        if (!complete)
            break;
        ++done;
    }
    ::close(fd);
    return done == 7 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = std::max(1, intOption(argc, argv, "--runs", 7));
    const double speed = std::max(1, intOption(argc, argv, "--speed", 100));
    std::vector<int> bauds = intOptions(argc, argv, "--baud");
    if (bauds.empty())
        bauds = {9600, 19200};
    const std::string method =
        std::filesystem::absolute(textOption(argc, argv, "--method", GC6890_BENCH_METHOD)).string();
    const std::string simulator = GC6890_BENCH_SIMULATOR;

    const PrivateHome home;
    const std::string traceFile = home.path() + "/sim-trace.txt";

    SetStatusTextHandler([](const char*, const char*) {});  // the host's status line: not shown
    SetMessageBoxHandler([](HWND, const char* text, const char*, UINT flags) {
        g_lastMessage = text;
        return gc6890::defaultMessageBoxAnswer(flags);
    });
    auto previous = gc6890::SetSerialBackendFactory(nullptr);
    gc6890::SetSerialBackendFactory([previous](const gc6890::PortSettings& settings) {
        return std::make_shared<CountingPort>(previous(settings));
    });

    const char* const names[] = {"first status poll", "status poll", "method download",
                                 "sampler load",      "injection",   "injection, late answer",
                                 "floor: bare client"};
    constexpr int kOperations = 7;
    constexpr int kFloor = 6;
    std::map<std::pair<int, int>, Figures> figures;  // (baud, operation)
    const std::string speedText = std::to_string(static_cast<int>(speed));

    std::printf(
        "Whole operations against gc6890-sim on a paced line: %d run(s), simulator --speed %s,\n"
        "method %s; load average %s.\n",
        runs, speedText.c_str(), method.c_str(), loadAverage().c_str());
    std::fflush(stdout);
    for (int run = 0; run < runs; ++run) {
        for (const int baud : bauds) {
            const std::string baudText = std::to_string(baud);
            {
                Simulator sim(simulator, {"--baud", baudText, "--speed", speedText}, traceFile);
                measure(
                    sim, baud, speed, names[kFloor], [&] { return bareClient(sim.device()); },
                    figures[{baud, kFloor}]);
            }
            {
                // Answers at once: status, download, load, injection in the order of a session.
                Simulator sim(simulator, {"--baud", baudText, "--speed", speedText}, traceFile);
                Session session(sim.device());
                CInletSystemStatus status;
                auto& f = figures;
                // The first poll of a session also asks for the GC's configuration report.
                measure(
                    sim, baud, speed, names[0], [&] { return session.gc().ReadStatus(status); },
                    f[{baud, 0}]);
                measure(
                    sim, baud, speed, names[1], [&] { return session.gc().ReadStatus(status); },
                    f[{baud, 1}]);
                measure(
                    sim, baud, speed, names[2],
                    [&] { return session.gc().LoadMethod(CString(method)); }, f[{baud, 2}]);
                measure(
                    sim, baud, speed, names[3],
                    [&] { return session.sampler().LoadMethod(CString(method)); }, f[{baud, 3}]);
                measure(
                    sim, baud, speed, names[4], [&] { return session.sampler().InjectSample(1); },
                    f[{baud, 4}]);
            }
            {
                // The sampler answers the injection when it happens: after its preparation.
                Simulator sim(simulator,
                              {"--baud", baudText, "--speed", speedText, "--injection", "late"},
                              traceFile);
                Session session(sim.device());
                if (!session.sampler().LoadMethod(CString(method)))
                    die("the sampler did not take " + method + ": " + g_lastMessage);
                measure(
                    sim, baud, speed, names[5], [&] { return session.sampler().InjectSample(1); },
                    figures[{baud, 5}]);
            }
        }
        std::printf("run %d of %d done\n", run + 1, runs);
        std::fflush(stdout);
    }

    std::printf("load average at the end %s\n", loadAverage().c_str());
    std::printf("\nIdeal = bytes x 10 / baud + the simulator's stated think time; elapsed and "
                "ratio are the\n"
                "median of %d run(s); goal elapsed / ideal <= %.2f.\n\n",
                runs, kGoalRatio);
    std::printf("%-24s %6s %9s %9s %10s %11s %11s %8s %s\n", "operation", "baud", "bytes out",
                "bytes in", "think ms", "ideal ms", "elapsed ms", "ratio", "goal");
    for (const int baud : bauds) {
        for (int op = 0; op < kOperations; ++op) {
            const Figures& f = figures[{baud, op}];
            std::vector<double> elapsed, ideal, held, ratio, out, in;
            for (const Sample& s : f.samples) {
                elapsed.push_back(s.elapsedMs);
                ideal.push_back(s.idealMs);
                held.push_back(s.heldMs);
                ratio.push_back(s.elapsedMs / s.idealMs);
                out.push_back(static_cast<double>(s.bytesOut));
                in.push_back(static_cast<double>(s.bytesIn));
            }
            const double r = median(ratio);
            const char* verdict = op == kFloor      ? "(no library)"
                                  : r <= kGoalRatio ? "met"
                                                    : "MISSED";
            std::printf("%-24s %6d %9.0f %9.0f %10.1f %11.1f %11.1f %8.4f %s\n", names[op], baud,
                        median(out), median(in), median(held), median(ideal), median(elapsed), r,
                        verdict);
            for (const auto& mismatch : f.mismatches)
                std::printf("  note: %s\n", mismatch.c_str());
        }
    }
    std::printf("\nRatios of single runs (min .. max):\n");
    for (const int baud : bauds)
        for (int op = 0; op < kOperations; ++op) {
            const Figures& f = figures[{baud, op}];
            double lo = 1e9, hi = 0;
            for (const Sample& s : f.samples) {
                lo = std::min(lo, s.elapsedMs / s.idealMs);
                hi = std::max(hi, s.elapsedMs / s.idealMs);
            }
            std::printf("  %-24s %6d  %.4f .. %.4f\n", names[op], baud, lo, hi);
        }
    return 0;
}
