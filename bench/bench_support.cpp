#include "bench_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

}  // namespace benchsupport
