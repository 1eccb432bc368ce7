// bench_exchange_parts: what the library does in an exchange that a bare client does not,
// each part timed alone, so that bench_exchange's difference can be put down to its parts:
// the port mutex taken and given back (twice an exchange: around the write and around the
// read), split into the robust process-shared mutex itself and what CMutex adds; the
// steady clock read for deadlines; the port's wait, which polls the device and the
// interrupt pipe where a bare client polls the device alone; and the comms log's level
// check. Nothing here sleeps: a wait that sleeps costs the same scheduler work in both
// clients and is bench_exchange's to measure.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "bench_support.h"
#include "comms/hp6890_serial_comms.h"
#include "external/port_interrupt.h"
#include "platform/mutex.h"

namespace {

// ---- the port mutex -----------------------------------------------------------------------

// As an exchange takes it: a deadline of the port's time-out and a second (CheckMutex).
void PortMutexTimedLockUnlock(benchmark::State& state)
{
    CMutex mutex(FALSE, "6890 Comm Port /dev/pts/bench");
    for (auto _ : state) {
        benchmark::DoNotOptimize(mutex.Lock(46000));
        mutex.Unlock();
    }
}
BENCHMARK(PortMutexTimedLockUnlock);

// The same without a deadline: the difference is the clock read and the timed lock.
void PortMutexLockUnlock(benchmark::State& state)
{
    CMutex mutex(FALSE, "6890 Comm Port /dev/pts/bench");
    for (auto _ : state) {
        benchmark::DoNotOptimize(mutex.Lock());
        mutex.Unlock();
    }
}
BENCHMARK(PortMutexLockUnlock);

// The pthread mutex alone, in shared memory, with the attributes of the port mutex
// (robust and process-shared), with process-shared alone, and with neither.
void RawMutexLockUnlock(benchmark::State& state, bool robust, bool shared)
{
    void* memory = mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        state.SkipWithError("mmap failed");
        return;
    }
    auto* mutex = static_cast<pthread_mutex_t*>(memory);
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    if (shared)
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    if (robust)
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pthread_mutex_lock(mutex));
        pthread_mutex_unlock(mutex);
    }
    pthread_mutex_destroy(mutex);
    munmap(memory, sizeof(pthread_mutex_t));
}
BENCHMARK_CAPTURE(RawMutexLockUnlock, robust_shared, true, true);
BENCHMARK_CAPTURE(RawMutexLockUnlock, shared, false, true);
BENCHMARK_CAPTURE(RawMutexLockUnlock, private, false, false);

// ---- the clock ----------------------------------------------------------------------------

void SteadyClockNow(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(std::chrono::steady_clock::now());
}
BENCHMARK(SteadyClockNow);

// The same read made by the kernel: what each clock read costs where the clock source is
// one the vDSO cannot read in user space (the read then becomes a system call).
void SteadyClockInTheKernel(benchmark::State& state)
{
    for (auto _ : state) {
        timespec now{};
        benchmark::DoNotOptimize(syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &now));
        benchmark::DoNotOptimize(now);
    }
}
BENCHMARK(SteadyClockInTheKernel);

// ---- the port's wait --------------------------------------------------------------------

// A pseudo-terminal whose slave has a line waiting: a poll of it returns at once, so what
// is timed is poll's own work per descriptor, not a sleep.
class ReadyTerminal {
public:
    ReadyTerminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            benchsupport::die("no pseudo-terminal");
        m_slave = open(ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        tcgetattr(m_slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
        if (write(m_master, "HTGCRI 2\n", 9) != 9)
            benchsupport::die("cannot write to the pseudo-terminal");
        pollfd p{m_slave, POLLIN, 0};
        poll(&p, 1, 1000);  // the line reaches the slave through the terminal's work queue
    }
    ~ReadyTerminal()
    {
        close(m_slave);
        close(m_master);
    }
    int slave() const { return m_slave; }

private:
    int m_master = -1, m_slave = -1;
};

// The bare client's wait: the device alone.
void PollReadyDevice(benchmark::State& state)
{
    const ReadyTerminal terminal;
    for (auto _ : state) {
        pollfd p{terminal.slave(), POLLIN, 0};
        benchmark::DoNotOptimize(poll(&p, 1, 5000));
    }
}
BENCHMARK(PollReadyDevice);

// The library's wait: the device and the interrupt pipe (port_interrupt.h).
void PollReadyDeviceAndInterrupt(benchmark::State& state)
{
    const ReadyTerminal terminal;
    for (auto _ : state) {
        pollfd p[2] = {{terminal.slave(), POLLIN, 0}, {gc6890::PortInterruptFd(), POLLIN, 0}};
        benchmark::DoNotOptimize(poll(p, 2, 5000));
    }
}
BENCHMARK(PollReadyDeviceAndInterrupt);

// ---- the comms log at level 1 -------------------------------------------------------------

// Each line written and read asks the log whether traffic is logged (level 2); at level 1
// it is not, and nothing more is done.
void CommsLogLevelCheck(benchmark::State& state)
{
    CHP6890ErrorLog log;
    for (auto _ : state) {
        benchmark::DoNotOptimize(log.Threshold() >= 2);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(CommsLogLevelCheck);

}  // namespace

int main(int argc, char** argv)
{
    // The settings store, the comms log and the lock files of this run only.
    const benchsupport::PrivateHome home;
    std::printf("Processor: %s; load average %s\n", benchsupport::processorModel().c_str(),
                benchsupport::loadAverage().c_str());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
