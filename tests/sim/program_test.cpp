// The gc6890-sim program serving a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Reads one line from fd within the deadline; empty on time-out or end.
std::string readLineBy(int fd, Clock::time_point deadline)
{
    std::string text;
    while (Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return text;
        if (c == '\n')
            return text;
        text += c;
    }
    return text;
}

class SimProgram : public ::testing::Test {
protected:
    void start(std::vector<std::string> args)
    {
        const char* bin = std::getenv("GC6890_SIM_BIN");
        if (!bin)
            GTEST_SKIP() << "GC6890_SIM_BIN is not set";
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv{const_cast<char*>(bin)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(bin, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];
        path_ = readLineBy(stdout_, Clock::now() + std::chrono::seconds(10));
        ASSERT_FALSE(path_.empty()) << "no device path from the simulator";
    }

    int stop()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    void TearDown() override
    {
        if (pid_ > 0)
            stop();
        if (stdout_ >= 0)
            ::close(stdout_);
    }

    int openDevice(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd >= 0 && ::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        return fd;
    }

    std::string ask(int fd, const std::string& command)
    {
        const std::string text = command + "\n";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        return readLineBy(fd, Clock::now() + std::chrono::seconds(10));
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string path_;
};

TEST_F(SimProgram, ServesLinesOnThePseudoTerminalAndEndsOnSigterm)
{
    const std::string link = ::testing::TempDir() + "gc6890-sim-link-" + std::to_string(::getpid());
    start({"--link", link, "--speed", "60"});
    const int fd = openDevice(link);
    ASSERT_GE(fd, 0) << path_;
    EXPECT_EQ(ask(fd, "CCHTEO \"1234\""), "HTCCEO \"1234\"");
    EXPECT_EQ(ask(fd, "CCHTID").substr(0, 17), "HTCCID HP 6890 GC");
    EXPECT_EQ(ask(fd, "GCHTRI").substr(0, 8), "HTGCRI 0");
    ::close(fd);
    const int status = stop();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat info {};
    EXPECT_NE(::lstat(link.c_str(), &info), 0);  // the link is gone
}

TEST_F(SimProgram, HangUpFaultClosesTheDevice)
{
    start({"--hang-up-after", "1"});
    const int fd = openDevice(path_);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ask(fd, "CCHTID").substr(0, 6), "HTCCID");
    const std::string text = "GCHTRI\n";
    ASSERT_EQ(::write(fd, text.data(), text.size()), 8 - 1);
    // The program ends and the line reads as closed.
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(status));
    char c = 0;
    EXPECT_LE(::read(fd, &c, 1), 0);
    ::close(fd);
}

}  // namespace
