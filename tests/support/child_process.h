// Programs the tests start, and bounded waits on the child processes they fork.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace gc6890::test {

// Waits for the child to end, at most `milliseconds`; a child still running then is killed.
// Returns the wait status, or -1 when it had to be killed.
inline int waitForChild(pid_t child, int milliseconds = 20000)
{
    for (int waited = 0; waited < milliseconds; waited += 5) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return status;
        poll(nullptr, 0, 5);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

// Called in a child just forked from `test` (the test process's pid, taken before the fork):
// the child is killed when the test process ends, however it ends, so that a crashed or
// timed-out test leaves no simulator, service or broker behind holding its output open
// (ctest would wait on that output for good).
inline void endWithTheTest(pid_t test)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != test)  // the test ended before the line above took effect
        _exit(127);
}

// Runs `body` in a forked child, which exits with body's result; the child's pid (-1: no
// child).
template <typename Body>
pid_t inChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Reads one byte from the pipe, waiting at most `milliseconds`; false on time-out or end.
inline bool awaitByte(int fd, int milliseconds = 20000)
{
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, milliseconds) == 1 && read(fd, &byte, 1) == 1;
}

// How spawnProgram connects the program: standard output to a pipe or /dev/null; standard
// error to a pipe, else appended to `errFile` ("/dev/null": nowhere), else the test's own.
// (The "{}" let a designated initializer leave a member out under -Wextra.)
struct SpawnOptions {
    bool outToPipe = true;
    bool errToPipe = false;
    std::string errFile{};
    bool inputFromNull = false;              // standard input /dev/null
    std::vector<std::string> environment{};  // "NAME=value", added to the test's
    bool ownGroup = false;                   // leads a process group of its own, as a shell's job
    std::string orElse{};                    // started instead when `program` cannot be
};

// A started program: its pid (-1: not started) and the read ends of the pipes asked for.
struct Spawned {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

// Starts `program` (searched in $PATH when it names no folder) with `arguments`, ending
// with the test. The pipes and opened files are closed on exec, in the test as in the
// program, so that no program holds another's.
inline Spawned spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const SpawnOptions& options)
{
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    const bool piped = (!options.outToPipe || pipe2(out, O_CLOEXEC) == 0) &&
                       (!options.errToPipe || pipe2(err, O_CLOEXEC) == 0);
    // Built before the fork: the child of a threaded test allocates nothing. execv takes
    // non-const strings but changes none of them.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t test = getpid();
    const pid_t pid = piped ? fork() : -1;
    if (pid == 0) {
        endWithTheTest(test);
        if (options.ownGroup)
            setpgid(0, 0);
        dup2(options.outToPipe ? out[1] : open("/dev/null", O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
        if (options.errToPipe)
            dup2(err[1], STDERR_FILENO);
        else if (!options.errFile.empty())
            dup2(open(options.errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600),
                 STDERR_FILENO);
        if (options.inputFromNull)
            dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
        for (const std::string& variable : options.environment)
            putenv(const_cast<char*>(variable.c_str()));
        execvp(program.c_str(), argv.data());
        if (!options.orElse.empty())
            execv(options.orElse.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);  // -1, not a pipe: a harmless EBADF
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return {};
    }
    return {pid, out[0], err[0]};
}

// Reads the next line of `fd` into `line` (without its end), waiting at most `milliseconds`
// for each character; false when the writer closed or the wait ran out before the line
// ended (`line` then holds what came).
inline bool readLine(int fd, int milliseconds, std::string& line)
{
    line.clear();
    pollfd ready{fd, POLLIN, 0};
    for (char c = 0; poll(&ready, 1, milliseconds) == 1 && read(fd, &c, 1) == 1; line += c)
        if (c == '\n')
            return true;
    return false;
}

}  // namespace gc6890::test
