// What the whole-run benchmark programs share: failing loudly, their command-line options,
// a private home for the library's files, and the child process that serves a device
// (the responder, the simulator) on a pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include <string>
#include <vector>

namespace benchsupport {

// Prints "PROGRAM: what" and ends the program: a benchmark that cannot measure says why.
[[noreturn]] void die(const std::string& what);

double median(std::vector<double> values);
// The value below which `p` percent of `values` lie (nearest rank); 0 for none.
double percentile(std::vector<double> values, double p);

// The machine's load average: figures are only as steady as the machine was quiet.
std::string loadAverage();

// The processor's model name (/proc/cpuinfo), "unknown processor" when it cannot be read:
// printed beside the figures, so that figures from different machines are never compared.
std::string processorModel();

// The value of `key` ("VmHWM:") in /proc/PID/status, "?" when it cannot be read.
std::string procStatus(pid_t pid, const char* key);

// "--name N" (the last one given wins), every "--name N" given, "--name TEXT", "--name".
int intOption(int argc, char** argv, const char* name, int fallback);
std::vector<int> intOptions(int argc, char** argv, const char* name);
std::string textOption(int argc, char** argv, const char* name, const std::string& fallback);
bool flagOption(int argc, char** argv, const char* name);

// A temporary GC6890_HOME (with the comms log's folder) and XDG_RUNTIME_DIR of this run
// only: the settings store, the comms log and the port mutex's lock file stay out of the
// user's, and other programs using the port mutex meanwhile (a test run) cannot make the
// benchmark wait. Removed at the end.
class PrivateHome {
public:
    PrivateHome();
    ~PrivateHome();
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    const std::string& path() const { return m_path; }
    // The instrument's status poll period ("Status Frequency"), written to the home's
    // settings store before the service starts.
    void setStatusFrequency(int ms) const;

private:
    std::string m_path;
};

// A program that prints its device's path as its first line and serves it until told to
// stop (SIGTERM, or its standard input closing). Standard error goes to `errorFile` when
// one is given.
class DeviceProcess {
public:
    DeviceProcess(const std::string& program, const std::vector<std::string>& options,
                  const std::string& errorFile = {});
    ~DeviceProcess();
    DeviceProcess(const DeviceProcess&) = delete;
    DeviceProcess& operator=(const DeviceProcess&) = delete;
    const std::string& device() const { return m_device; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    std::string m_device;
};

// A server program that says where it serves in the first lines of its standard output
// (the service: its URL, then its SiLA server's address; a minimal server: its port).
// Standard error goes to /dev/null.
struct Child {
    pid_t pid = -1;
    int port = 0;  // the number after the first line's last ':'
    std::vector<std::string> lines;
};
Child startChild(const std::vector<std::string>& args, int lines = 1);
void stopChild(Child& child);

// Milliseconds since the epoch, the clock the service stamps its events with.
double wallMs();

// A TCP connection to 127.0.0.1:PORT without Nagle's delay, non-blocking when asked; -1 when
// it cannot be made.
int connectLoopback(int port, bool nonBlocking);
// Asks the kernel to stamp each arrival on `fd` (for readStamped).
void stampArrivals(int fd);
// One read of `fd` (as recvmsg) that also sets `arrivedMs` to the kernel's time of arrival
// when there were bytes: the delay measured is the server's, not the reading thread's wait
// for a core. Without a stamp, the time of the read.
ssize_t readStamped(int fd, char* buffer, std::size_t size, double& arrivedMs);

// Pins the calling thread, and every thread it starts afterwards, to the last core (what
// "taskset -c N" does): a load generator started after its servers leaves them every core.
void pinToLastCore();

}  // namespace benchsupport
