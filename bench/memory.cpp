// bench_memory: the host's memory.
//
// 1. The peak resident size of the host program during a whole `gc6890 demo` run: the
//    child's ru_maxrss (the simulator it starts is a process of its own and not counted).
// 2. The growth of the resident size over many status polls of the GC object against an
//    unpaced gc6890-sim: VmRSS from /proc/self/status after a warm-up, then after the
//    polls. Heap in use (mallinfo2) is printed beside it, to tell the library's own growth
//    from the allocator keeping freed pages.
//
// usage: bench_memory [--polls N (100000)] [--warm-up N (5000)] [--no-demo]
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
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
#include <memory>
#include <string>

#include "bench_support.h"
#include "external/inlet_utils.h"
#include "external/serial_comms.h"
#include "gc/varnock_gc_system.h"
#include "interface/inlet_system_status.h"
#include "platform/platform.h"

namespace {

using namespace benchsupport;
using Clock = std::chrono::steady_clock;

constexpr long kGoalGrowthKiB = 1024;  // under 1 MB over the polls

// A value in kB from /proc/self/status ("VmRSS:", "VmHWM:").
long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    die(std::string("no ") + field + " in /proc/self/status");
}

struct Memory {
    long rssKiB = 0;
    std::size_t heapInUse = 0;  // bytes allocated and not freed
    std::size_t heapHeld = 0;   // bytes the allocator holds from the system
};

Memory memoryNow()
{
    const struct mallinfo2 info = mallinfo2();
    return {statusKiB("VmRSS:"), info.uordblks + info.hblkhd, info.arena + info.hblkhd};
}

// ---- 1. the demo ------------------------------------------------------------------------

void measureDemo(const std::string& home)
{
    const std::string output = home + "/demo-output.txt";
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int file = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(file, STDOUT_FILENO);
        dup2(file, STDERR_FILENO);
        setenv("GC6890_SIM_BIN", GC6890_BENCH_SIMULATOR, 1);
        execl(GC6890_BENCH_HOST, GC6890_BENCH_HOST, "demo", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        die("wait4 failed");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream text(output);
        std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(text), {}).c_str());
        die("gc6890 demo failed");
    }
    std::printf(
        "gc6890 demo: peak resident size %ld KiB (%.1f MiB), whole run %.1f s, CPU %.2f s\n",
        usage.ru_maxrss, usage.ru_maxrss / 1024.0, seconds,
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
}

// ---- 2. status polls -----------------------------------------------------------------------

void poll(CVarnockGCSystem& gc, int count)
{
    CInletSystemStatus status;
    for (int i = 0; i < count; ++i)
        if (!gc.ReadStatus(status))
            die("status poll " + std::to_string(i + 1) + " failed");
}

void measurePolls(int warmUp, int polls)
{
    const DeviceProcess sim(GC6890_BENCH_SIMULATOR, {});
    gc6890::PortSettings port;
    port.device = sim.device();
    gc6890::WritePortSettings("Inlets\\Hubrel\\Varnock", port);
    auto gc = std::make_unique<CVarnockGCSystem>();
    if (!gc->InitialiseComms())
        die("no communication with the GC on " + sim.device());

    poll(*gc, warmUp);
    const Memory before = memoryNow();
    const auto start = Clock::now();
    poll(*gc, polls);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Memory after = memoryNow();
    gc->CloseDownComms();

    const long growth = after.rssKiB - before.rssKiB;
    std::printf("\nStatus polls of the GC object against an unpaced gc6890-sim (%d polls after a "
                "warm-up of %d;\n"
                "%.1f s, %.0f polls/s):\n",
                polls, warmUp, seconds, polls / seconds);
    std::printf("%-34s %12s %12s %12s\n", "", "after warm-up", "after polls", "growth");
    std::printf("%-34s %12ld %12ld %12ld\n", "resident size (VmRSS), KiB", before.rssKiB,
                after.rssKiB, growth);
    std::printf("%-34s %12zu %12zu %12lld\n", "heap in use (mallinfo2), bytes", before.heapInUse,
                after.heapInUse,
                static_cast<long long>(after.heapInUse) - static_cast<long long>(before.heapInUse));
    std::printf("%-34s %12zu %12zu %12lld\n", "heap held from the system, bytes", before.heapHeld,
                after.heapHeld,
                static_cast<long long>(after.heapHeld) - static_cast<long long>(before.heapHeld));
    std::printf("resident growth %ld KiB against the goal < %ld KiB: %s\n", growth, kGoalGrowthKiB,
                growth < kGoalGrowthKiB ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    const int polls = std::max(1, intOption(argc, argv, "--polls", 100000));
    const int warmUp = std::max(0, intOption(argc, argv, "--warm-up", 5000));

    const PrivateHome home;
    SetStatusTextHandler([](const char*, const char*) {});

    std::printf("Memory of the host (load average %s).\n\n", loadAverage().c_str());
    if (!flagOption(argc, argv, "--no-demo"))
        measureDemo(home.path());
    std::fflush(stdout);
    measurePolls(warmUp, polls);
    return 0;
}
