#include "bench_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace benchsupport {

void die(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto i = static_cast<std::size_t>(std::ceil(p / 100 * values.size())) - 1;
    return values[std::min(i, values.size() - 1)];
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string processorModel()
{
    std::ifstream file("/proc/cpuinfo");
    const std::string key = "model name";
    for (std::string line; std::getline(file, line);)
        if (line.compare(0, key.size(), key) == 0)
            if (const auto colon = line.find(':'); colon != std::string::npos) {
                const auto start = line.find_first_not_of(" \t", colon + 1);
                return start == std::string::npos ? line.substr(colon + 1) : line.substr(start);
            }
    return "unknown processor";
}

std::string procStatus(pid_t pid, const char* key)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind(key, 0) == 0)
            return line.substr(line.find_first_not_of(" \t", std::strlen(key)));
    return "?";
}

int intOption(int argc, char** argv, const char* name, int fallback)
{
    const std::vector<int> given = intOptions(argc, argv, name);
    return given.empty() ? fallback : given.back();
}

std::vector<int> intOptions(int argc, char** argv, const char* name)
{
    std::vector<int> values;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            values.push_back(std::atoi(argv[i + 1]));
    return values;
}

std::string textOption(int argc, char** argv, const char* name, const std::string& fallback)
{
    std::string value = fallback;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            value = argv[i + 1];
    return value;
}

bool flagOption(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

PrivateHome::PrivateHome()
{
    char path[] = "/tmp/gc6890-bench-XXXXXX";
    if (!mkdtemp(path))
        die(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    m_path = path;
    setenv("GC6890_HOME", path, 1);
    std::filesystem::create_directories(m_path + "/c/dravik");
    const std::string runtime = m_path + "/run";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

void PrivateHome::setStatusFrequency(int ms) const
{
    std::ofstream settings(m_path + "/registry.ini");
    settings << "[Inlets\\Hubrel\\System Timings]\nStatus Frequency=" << ms << "\n";
}

PrivateHome::~PrivateHome()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

DeviceProcess::DeviceProcess(const std::string& program, const std::vector<std::string>& options,
                             const std::string& errorFile)
{
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0)
        die("pipe failed");
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        if (!errorFile.empty()) {
            const int error =
                ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            dup2(error, STDERR_FILENO);
        }
        close(toChild[1]);
        close(fromChild[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& option : options)
            argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_stdin = toChild[1];
    char c;
    while (::read(fromChild[0], &c, 1) == 1 && c != '\n')
        m_device += c;
    close(fromChild[0]);
    if (m_device.empty())
        die(program + " did not start");
}

DeviceProcess::~DeviceProcess()
{
    close(m_stdin);
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

Child startChild(const std::vector<std::string>& args, int lines)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        die("pipe failed");
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c = 0;
    while (static_cast<int>(child.lines.size()) < lines && ::read(out[0], &c, 1) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        child.lines.push_back(line);
        line.clear();
    }
    close(out[0]);
    if (!child.lines.empty()) {
        const std::string& first = child.lines.front();
        const std::size_t colon = first.rfind(':');
        child.port = std::atoi(first.c_str() + (colon == std::string::npos ? 0 : colon + 1));
    }
    if (child.port <= 0 || static_cast<int>(child.lines.size()) < lines)
        die(args[0] + " did not start");
    return child;
}

void stopChild(Child& child)
{
    kill(child.pid, SIGTERM);
    waitpid(child.pid, nullptr, 0);
}

double wallMs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int connectLoopback(int port, bool nonBlocking)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (nonBlocking)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void stampArrivals(int fd)
{
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
}

ssize_t readStamped(int fd, char* buffer, std::size_t size, double& arrivedMs)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec data{buffer, size};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd, &message, 0);
    if (n <= 0)
        return n;
    arrivedMs = wallMs();
    for (cmsghdr* m = CMSG_FIRSTHDR(&message); m; m = CMSG_NXTHDR(&message, m))
        if (m->cmsg_level == SOL_SOCKET && m->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t{};
            std::memcpy(&t, CMSG_DATA(m), sizeof t);
            arrivedMs = t.tv_sec * 1e3 + t.tv_nsec / 1e6;
        }
    return n;
}

void pinToLastCore()
{
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<int>(cores - 1), &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0)
        die("cannot pin the load generator to a core");
    std::printf("load generator pinned to core %ld of %ld\n", cores - 1, cores);
}

}  // namespace benchsupport
