#include "program_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/child_process.h"

namespace gc6890::hosttest {

std::string programPath()
{
    if (const char* path = std::getenv("GC6890_CLI_BIN"); path && *path)
        return path;
    return GC6890_CLI_BIN;
}

ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, int limitSeconds,
                         SignalAt send)
{
    ProgramResult result;
    // Standard input is never a terminal: questions take their defaults.
    const test::Spawned child =
        test::spawnProgram(programPath(), arguments,
                           {.errToPipe = true, .inputFromNull = true, .environment = environment});
    if (child.pid < 0)
        return result;
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    // Milliseconds from now until `at` (negative once it has passed).
    const auto msUntil = [](Clock::time_point at) {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()).count());
    };
    const auto deadline = started + std::chrono::seconds(limitSeconds);
    auto signalAt = started + std::chrono::milliseconds(send.afterMs);
    struct pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        int wait = msUntil(deadline);
        if (wait <= 0) {
            kill(child.pid, SIGKILL);
            killed = true;
            break;
        }
        if (send.afterText && (result.err.find(send.afterText) != std::string::npos ||
                               result.out.find(send.afterText) != std::string::npos)) {
            signalAt = Clock::now() + std::chrono::milliseconds(send.afterMs);
            send.afterText = nullptr;
        }
        if (send.signal != 0 && !send.afterText) {
            if (msUntil(signalAt) <= 0) {
                kill(child.pid, send.signal);
                send.signal = 0;
                result.signalledMs = -msUntil(started);
            } else
                wait = std::min(wait, msUntil(signalAt));
        }
        if (poll(fds, 2, wait) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const auto& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    waitpid(child.pid, &status, 0);
    result.elapsedMs = -msUntil(started);
    if (!killed && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

::testing::AssertionResult exited(const ProgramResult& result, int exitCode,
                                  const std::string& says)
{
    if (result.exitCode == exitCode && result.err.find(says) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "exit code " << result.exitCode << " (expected " << exitCode
           << "); standard error, expected to hold \"" << says << "\":\n"
           << result.err;
}

::testing::Matcher<const std::string&> holdsAll(std::initializer_list<std::string> parts)
{
    std::vector<::testing::Matcher<const std::string&>> each;
    for (const std::string& part : parts)
        each.push_back(::testing::HasSubstr(part));
    return ::testing::AllOfArray(each);
}

std::vector<nlohmann::json> auditLines(const std::string& home)
{
    std::vector<nlohmann::json> lines;
    std::ifstream file(home + "/audit/audit.jsonl");
    for (std::string line; std::getline(file, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return lines;
}

}  // namespace gc6890::hosttest
