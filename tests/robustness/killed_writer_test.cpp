// Writers killed at random points (SIGKILL, so no clean-up runs): the comms log's backups
// are never lost or overwritten. (A settings store writer killed inside its write is
// platform/settings_store_test.cpp's.)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "diagnostics/error_log.h"
#include "external/inlet_utils.h"
#include "platform/platform.h"
#include "support/child_process.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

constexpr int kKills = 300;

// Starts `writer` in a child. Once the writer has finished its first piece of work (it
// calls `ready`), the child goes on for a random while (up to 5 ms) and is killed, so the
// kill falls at a random point of the writes that follow, however slow the machine.
template <typename Writer>
void killAtRandom(std::mt19937& random, Writer writer)
{
    int started[2];
    if (pipe(started) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        const auto ready = [fd = started[1]] {
            if (write(fd, "g", 1) != 1)
                _exit(1);
        };
        writer(ready);
        _exit(0);
    }
    close(started[1]);
    if (awaitByte(started[0], 10000))
        usleep(std::uniform_int_distribution<useconds_t>(0, 5000)(random));
    close(started[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST(KilledWriterTest, CommsLogBackupsAreNeverLost)
{
    TempHome home;
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MaxLogSize", 8192, HKEY_LOCAL_MACHINE);
    const std::string folder = home.path() + "/c/dravik";
    std::mt19937 random(6890);
    std::map<std::string, std::uintmax_t> backups;  // every backup seen, with its size
    int lost = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        killAtRandom(random, [](const auto& ready) {
            SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDYES; });
            for (int round = 0;; ++round) {
                CHP6890ErrorLog log;  // checks the size and makes a backup when full
                for (int entry = 0; entry < 20; ++entry)
                    log.LogError(CString(format("entry %d of round %d\n", entry, round)), 1);
                if (round == 0)
                    ready();
            }
        });
        for (const auto& [name, size] : backups)
            lost += !std::filesystem::exists(folder + "/" + name) ||
                    std::filesystem::file_size(folder + "/" + name) != size;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() != ".err")
                backups.emplace(entry.path().filename().string(), entry.file_size());
    }
    EXPECT_EQ(lost, 0);
    EXPECT_GT(backups.size(), 0u) << "no backup was ever made";
    // Numbered from 001 without a gap.
    int number = 1;
    for (const auto& [name, size] : backups)
        EXPECT_EQ(name, format("hp6890.%03d", number++));
}

}  // namespace
}  // namespace gc6890::test
