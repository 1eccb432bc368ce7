#include "external/simulator_process_port.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/cstring.h"
#include "platform/installation.h"

namespace gc6890 {

namespace {

constexpr int kStartTimeoutMs = 5000;  // the simulator prints its device path at once
constexpr int kStopTimeoutMs = 2000;   // then it is killed
constexpr int kLifelineFd = 3;         // the simulator's end of the lifeline pipe

bool executable(const std::string& path)
{
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> extraOptions()
{
    std::vector<std::string> options;
    if (const char* text = std::getenv("GC6890_SIM_OPTIONS")) {
        std::istringstream words(text);
        for (std::string word; words >> word;)
            options.push_back(word);
    }
    return options;
}

// Reads the first line the child prints, within the deadline.
bool readFirstLine(int fd, std::string& line, std::string& error)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        struct pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            error = "the simulator did not report its device in time";
            return false;
        }
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            error = "the simulator exited before reporting its device";
            return false;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    line = text.substr(0, text.find('\n'));
    return true;
}

}  // namespace

std::string SimulatorProcessPort::findProgram()
{
    if (const char* configured = std::getenv("GC6890_SIM_BIN"); configured && *configured)
        return configured;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, static_cast<size_t>(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + "gc6890-sim";
        if (executable(beside))
            return beside;
    }
    // A host program of the library's own: the simulator installed with the library.
    if (std::string installed = installedProgram("gc6890-sim"); !installed.empty())
        return installed;
    return "gc6890-sim";  // found on the PATH by execvp, or reported as missing
}

SimulatorProcessPort::SimulatorProcessPort(PortSettings settings) : m_settings(std::move(settings))
{}

SimulatorProcessPort::~SimulatorProcessPort()
{
    close();
}

bool SimulatorProcessPort::start(std::string& devicePath, std::string& error)
{
    const std::string program = findProgram();
    std::vector<std::string> args = {program};
    for (std::string& option : extraOptions())
        args.push_back(std::move(option));
    // The simulator's lifeline: it ends when this pipe reaches end-of-file, which happens
    // when we close it or die, however we die and whichever thread started it (a
    // parent-death signal would follow the starting thread, not the process).
    int life[2];
    if (pipe2(life, O_CLOEXEC) < 0) {
        error = format("cannot start the simulator: %s", std::strerror(errno));
        return false;
    }
    // Handed over in the environment, made before the fork (nothing is allocated after it).
    std::vector<std::string> environment = {"GC6890_SIM_PARENT_FD=" + std::to_string(kLifelineFd)};
    for (char** variable = environ; *variable; ++variable) {
        if (std::string_view(*variable).rfind("GC6890_SIM_PARENT_FD=", 0) != 0)
            environment.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) < 0) {
        error = format("cannot start the simulator: %s", std::strerror(errno));
        ::close(life[0]);
        ::close(life[1]);
        return false;
    }
    m_child = fork();
    if (m_child < 0) {
        error = format("cannot start the simulator: %s", std::strerror(errno));
        for (int fd : {out[0], out[1], life[0], life[1]})
            ::close(fd);
        return false;
    }
    if (m_child == 0) {
        // A process group of its own: Ctrl-C on the terminal (SIGINT to the foreground group)
        // and a stop of the whole group must reach the host, which closes the line before it
        // ends the simulator; the lifeline still ends it when the host dies.
        setpgid(0, 0);
        dup2(out[1], STDOUT_FILENO);
        // The lifeline's read end as descriptor 3, kept across exec (in the child only).
        dup2(life[0], kLifelineFd);
        fcntl(kLifelineFd, F_SETFD, 0);
        // Nothing else of the parent's: a socket the simulator inherited would outlive the
        // parent and keep, say, a broker from seeing it die.
        closefrom(kLifelineFd + 1);
        execvpe(argv[0], argv.data(), envp.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    setpgid(m_child, m_child);  // also here, so that it holds before the child runs
    ::close(out[1]);
    ::close(life[0]);
    m_lifeline = life[1];
    const bool started = readFirstLine(out[0], devicePath, error);
    ::close(out[0]);  // the simulator's later output (none by default) is not read
    if (!started) {
        error = format("cannot start the simulator %s: %s", program.c_str(), error.c_str());
        stopProcess();
    }
    return started;
}

bool SimulatorProcessPort::open(std::string& error)
{
    if (isOpen())
        return true;
    close();
    std::string device;
    if (!start(device, error))
        return false;
    PortSettings settings = m_settings;
    settings.device = device;
    m_port = std::make_unique<TermiosPort>(settings);
    if (!m_port->open(error)) {
        close();
        return false;
    }
    return true;
}

void SimulatorProcessPort::close()
{
    m_port.reset();
    stopProcess();
}

void SimulatorProcessPort::stopProcess()
{
    closeLifeline();
    if (m_child <= 0)
        return;
    kill(m_child, SIGTERM);
    for (int waited = 0; waited < kStopTimeoutMs; waited += 10) {
        if (waitpid(m_child, nullptr, WNOHANG) == m_child) {
            m_child = -1;
            return;
        }
        usleep(10 * 1000);
    }
    kill(m_child, SIGKILL);
    waitpid(m_child, nullptr, 0);
    m_child = -1;
}

void SimulatorProcessPort::closeLifeline()
{
    if (m_lifeline >= 0)
        ::close(m_lifeline);
    m_lifeline = -1;
}

bool SimulatorProcessPort::write(std::string_view bytes, int timeoutMs)
{
    return m_port && m_port->write(bytes, timeoutMs);
}

SerialPortBackend::ReadResult SimulatorProcessPort::read(char* buffer, std::size_t size,
                                                         int timeoutMs)
{
    if (!m_port)
        return {ReadStatus::Gone, 0};
    return m_port->read(buffer, size, timeoutMs);
}

}  // namespace gc6890
