// bench_parsing: the command language's text work, which every exchange pays for: command
// lines into CCommandString and back, a status reply's values into CIntFloatArray, and a
// method read-back's commands into a CCommandStringList. Heap allocations are counted with
// a replaced operator new, so that "no allocation per value" is measured, not assumed.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "command/command_lists.h"
#include "command/command_string.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reply_values.h"
#include "external/serial_comms.h"
#include "method/method_readback.h"
#include "sim/in_process_line.h"

// ---- allocation counting ----------------------------------------------------------------

namespace {
std::atomic<long> g_allocations{0};
}

// Counting only; the memory itself comes from malloc. (GCC's mismatched-new-delete check
// cannot see that new and delete below are a replaced pair.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

// Allocations per iteration, as a benchmark counter.
class AllocationCount {
public:
    explicit AllocationCount(benchmark::State& state)
        : m_state(state), m_start(g_allocations.load())
    {}
    ~AllocationCount()
    {
        const double perIteration =
            static_cast<double>(g_allocations.load() - m_start) /
            static_cast<double>(std::max<benchmark::IterationCount>(m_state.iterations(), 1));
        m_state.counters["allocs"] = perIteration;
    }

private:
    benchmark::State& m_state;
    long m_start;
};

// Lines as the instrument and the library exchange them.
const std::vector<std::string>& commandLines()
{
    static const std::vector<std::string> lines = {
        "GCHTRT 0.00,7,1",
        "OVOVRT 10.00,120.00,3.00",
        "C1C1NR 0,12.5000,3.20",
        "HTGCRI 2,0,0,0,12.50,3.25,104.75,0,0",
        "IFIFTP 250,ON",
        "01HTSETPTS 1,5,2,3,0,0,1,1",
        "HTCCID HP 6890 GC, A.03.08   ",
        "GCGCPO 2.00,300",
    };
    return lines;
}

const char kStatusReply[] = "HTGCST 67108864,0,0,0,0,0,0,0,16,0,3,0,0,0,0";  // fifteen words
const char kTwoValueReply[] = "HTGCST 67108864,0";  // past the short-string size too

void CommandLineToCommandString(benchmark::State& state)
{
    const auto& lines = commandLines();
    std::vector<CString> texts(lines.begin(), lines.end());
    AllocationCount count(state);
    for (auto _ : state)
        for (const CString& text : texts) {
            CCommandString command(text);
            benchmark::DoNotOptimize(command);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(texts.size()));
}
BENCHMARK(CommandLineToCommandString);

void CommandStringToLine(benchmark::State& state)
{
    std::vector<CCommandString> commands;
    for (const std::string& line : commandLines())
        commands.emplace_back(CString(line));
    AllocationCount count(state);
    for (auto _ : state)
        for (const CCommandString& command : commands) {
            CString text = command.GetString();
            benchmark::DoNotOptimize(text);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(commands.size()));
}
BENCHMARK(CommandStringToLine);

// The channel's value parser on a status reply: the goal is 100 ns per reply and no
// allocation at all.
void StatusReplyValues(benchmark::State& state)
{
    const std::string reply = kStatusReply;
    CIntFloatArray values(15);
    AllocationCount count(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(gc6890::parseReplyValues(reply, values));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(StatusReplyValues);

// Each kind of reply the channel parses, against std::from_chars reading the same values
// into the same slots (a float for a value with a point, through double as the channel's
// rules want; an integer through long, as atoi's strtol does). Goal: within 1.2 times.
struct ReplyKind {
    const char* name;
    const char* reply;
    int slots;
};
const ReplyKind kReplyKinds[] = {
    {"status_words", kStatusReply, 15},
    {"run_state", "HTGCRI 2,0,0,0,12.50,3.25,104.75,0,0", 9},
    {"readings", "HTC1NR 104.75,12.5000,3.20,250.00,0.000,-1.250", 6},
    {"long_integers", "HTGCST 2147483647,1234567890,-1234567890,4294967295,16777216", 5},
};

int fromCharsValues(const std::string& reply, CIntFloatArray& values)
{
    const char* at = reply.c_str() + reply.find(' ') + 1;
    const char* const end = reply.c_str() + reply.size();
    for (int i = 0; i < values.GetSize(); ++i) {
        const auto* comma = static_cast<const char*>(std::memchr(at, ',', end - at));
        const char* const stop = comma ? comma : end;
        if (std::memchr(at, '.', stop - at)) {
            double value = 0;
            std::from_chars(at, stop, value);
            values.SetFloat(i, static_cast<float>(value));
        } else {
            long value = 0;
            std::from_chars(at, stop, value);
            values.SetInt(i, static_cast<int>(value));
        }
        at = stop + 1;
    }
    return 1;
}

template <typename Parse>
void replyValues(benchmark::State& state, int kind, Parse parse)
{
    const std::string reply = kReplyKinds[kind].reply;
    CIntFloatArray values(kReplyKinds[kind].slots), reference(kReplyKinds[kind].slots);
    if (!gc6890::parseReplyValues(reply, reference) || !fromCharsValues(reply, values))
        state.SkipWithError("the reply does not parse");
    for (int i = 0; i < values.GetSize(); ++i)
        if (values.GetInt(i) != reference.GetInt(i))
            state.SkipWithError("from_chars reads the reply otherwise");
    AllocationCount count(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse(reply, values));
        benchmark::ClobberMemory();
    }
}

void ReplyValues(benchmark::State& state, int kind)
{
    replyValues(state, kind, gc6890::parseReplyValues);
}
void FromChars(benchmark::State& state, int kind)
{
    replyValues(state, kind, fromCharsValues);
}
BENCHMARK_CAPTURE(ReplyValues, status_words, 0);
BENCHMARK_CAPTURE(FromChars, status_words, 0);
BENCHMARK_CAPTURE(ReplyValues, run_state, 1);
BENCHMARK_CAPTURE(FromChars, run_state, 1);
BENCHMARK_CAPTURE(ReplyValues, readings, 2);
BENCHMARK_CAPTURE(FromChars, readings, 2);
BENCHMARK_CAPTURE(ReplyValues, long_integers, 3);
BENCHMARK_CAPTURE(FromChars, long_integers, 3);

// A line that answers every write with the same reply, in memory: the whole reply path of
// SendAndReceiveToGC without a device.
class EchoingLine : public gc6890::SerialPortBackend {
public:
    explicit EchoingLine(std::string reply) : m_reply(std::move(reply) + "\n") {}
    bool open(std::string&) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(std::string_view, int) override
    {
        m_pending = true;
        return true;
    }
    ReadResult read(char* buffer, std::size_t size, int) override
    {
        if (!m_pending || size < m_reply.size())
            return {ReadStatus::TimedOut, 0};
        m_pending = false;
        m_reply.copy(buffer, m_reply.size());
        return {ReadStatus::Data, m_reply.size()};
    }
    std::string describe() const override { return "memory"; }

private:
    std::string m_reply;
    bool m_pending = false;
    bool m_open = false;
};

// Allocations of one whole exchange with a reply of `reply`'s values.
double allocationsPerExchange(const char* command, const char* reply, int slots)
{
    auto line = std::make_shared<EchoingLine>(reply);
    auto previous =
        gc6890::SetSerialBackendFactory([line](const gc6890::PortSettings&) { return line; });
    double perExchange = -1;
    {
        CHP6890SerialComms channel;
        channel.OpenSerialPort();
        CHP6890SerialComms::m_sCommsStatus = 1;
        CIntFloatArray values(slots);
        const CString text(command);
        channel.SendAndReceiveToGC(text, values);  // first use: the mutex's bookkeeping
        constexpr int kExchanges = 1000;
        const long before = g_allocations.load();
        for (int i = 0; i < kExchanges; ++i)
            if (!channel.SendAndReceiveToGC(text, values))
                return -1;
        perExchange = static_cast<double>(g_allocations.load() - before) / kExchanges;
        CHP6890SerialComms::m_sCommsStatus = 0;
    }
    gc6890::SetSerialBackendFactory(previous);
    return perExchange;
}

// The whole exchange on the in-memory line: 15 values against 2, so that what grows with
// the values shows apart from the exchange's fixed cost.
void StatusExchangeInMemory(benchmark::State& state)
{
    auto line = std::make_shared<EchoingLine>(kStatusReply);
    auto previous =
        gc6890::SetSerialBackendFactory([line](const gc6890::PortSettings&) { return line; });
    {
        CHP6890SerialComms channel;
        channel.OpenSerialPort();
        CHP6890SerialComms::m_sCommsStatus = 1;
        CIntFloatArray values(15);
        const CString command("GCHTST");
        AllocationCount count(state);
        for (auto _ : state)
            benchmark::DoNotOptimize(channel.SendAndReceiveToGC(command, values));
        CHP6890SerialComms::m_sCommsStatus = 0;
    }
    gc6890::SetSerialBackendFactory(previous);
    const double fifteen = allocationsPerExchange("GCHTST", kStatusReply, 15);
    const double two = allocationsPerExchange("GCHTST", kTwoValueReply, 2);
    state.counters["allocs_per_value"] = (fifteen - two) / 13.0;
}
BENCHMARK(StatusExchangeInMemory);

// The stored method's read-back as the simulator sends it, joined by line feeds as the
// GC object collects it: `blocks` "HTCCMD C;..." blocks of commands separated by
// semicolons (the simulator's blocks again and again, as a longer method would bring),
// then the closing block.
std::string methodReadBackText(int blocks)
{
    gc6890::sim::InProcessLine line;
    std::string error;
    line.open(error);
    std::vector<std::string> replies;
    for (const char* ask = "CCHTMD ?\n"; replies.size() < 64; ask = "CCHTMD +\n") {
        line.write(ask, 1000);
        char buffer[4096];
        std::string reply;
        while (reply.find('\n') == std::string::npos) {
            const auto got = line.read(buffer, sizeof buffer, 1000);
            if (got.status != gc6890::SerialPortBackend::ReadStatus::Data)
                break;
            reply.append(buffer, got.count);
        }
        if (reply.rfind("HTCCMD E", 0) == 0 || reply.empty())
            break;
        if (reply.rfind("HTCCMD C;\"", 0) == 0)
            replies.push_back(reply.substr(0, reply.find('\n')));
    }
    std::string text;
    for (int b = 0; b < blocks && !replies.empty(); ++b)
        text += replies[static_cast<std::size_t>(b) % replies.size()] + "\n";
    return text + "HTCCMD E;\"NONE\"";
}

void MethodReadBackIntoList(benchmark::State& state)
{
    const CString text(methodReadBackText(30));
    int commands = 0;
    AllocationCount count(state);
    for (auto _ : state) {
        CCommandStringList list;
        if (gc6890::SplitMethodText(text, list) != gc6890::ReadBackResult::Complete)
            state.SkipWithError("the read-back did not split");
        commands = list.GetCount();
        benchmark::DoNotOptimize(list);
    }
    state.counters["commands"] = commands;
}
BENCHMARK(MethodReadBackIntoList);

// The console's report, and then each goal against its figures.
class GoalReporter : public benchmark::ConsoleReporter {
public:
    GoalReporter() : ConsoleReporter(OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            m_cpu[run.benchmark_name()] = run.GetAdjustedCPUTime();
            for (const auto& [name, counter] : run.counters)
                m_counters[run.benchmark_name() + " " + name] = counter.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n");
        for (const ReplyKind& kind : kReplyKinds) {
            const std::string ours = std::string("ReplyValues/") + kind.name;
            const std::string theirs = std::string("FromChars/") + kind.name;
            if (!m_cpu.count(ours) || !m_cpu.count(theirs))
                continue;
            const double ratio = m_cpu[ours] / m_cpu[theirs];
            std::printf("%-16s reply values / from_chars: %.2fx (goal <= 1.2x: %s)\n", kind.name,
                        ratio, ratio <= 1.2 ? "met" : "MISSED");
        }
        if (m_counters.count("StatusExchangeInMemory allocs")) {
            const double allocations = m_counters["StatusExchangeInMemory allocs"];
            std::printf("allocations per status exchange: %.2f (goal 0: %s)\n", allocations,
                        allocations < 0.005 ? "met" : "MISSED");
        }
    }

private:
    std::map<std::string, double> m_cpu;
    std::map<std::string, double> m_counters;
};

}  // namespace

int main(int argc, char** argv)
{
    // A private home: the channel's settings store and comms log stay out of the user's.
    char home[] = "/tmp/gc6890-bench-XXXXXX";
    if (!mkdtemp(home))
        return 1;
    setenv("GC6890_HOME", home, 1);
    const std::string logFolder = std::string(home) + "/c/dravik";
    std::string command = "mkdir -p '" + logFolder + "'";
    if (std::system(command.c_str()) != 0)
        return 1;
    // The port mutex's lock file in a runtime folder of our own: other programs of this
    // user that use the port mutex meanwhile (a test run) must not make us wait.
    const std::string runtime = std::string(home) + "/run";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    command = std::string("rm -rf '") + home + "'";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}
