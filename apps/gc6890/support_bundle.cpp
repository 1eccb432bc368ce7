#include "support_bundle.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

#include "cli_error.h"
#include "comms_log_path.h"
#include "platform/platform.h"
#include "platform/secret_settings.h"

extern char** environ;

namespace gc6890::cli {

namespace fs = std::filesystem;

namespace {

// The settings store as it is, each credential's value masked (shownSettingValue).
std::string maskedSettings()
{
    std::ifstream in(SettingsStore().filePath());
    std::ostringstream out;
    std::string section;
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (!line.empty() && line.front() == '[' && line.back() == ']')
            section = line.substr(1, line.size() - 2);
        else if (equals != std::string::npos && line.front() != ';' && line.front() != '#')
            line =
                line.substr(0, equals + 1) +
                shownSettingValue(section + "\\" + line.substr(0, equals), line.substr(equals + 1));
        out << line << '\n';
    }
    return out.str();
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the tar program: the archive's format and compression are what every developer
// unpacks, and it needs no library the project does not already use (docs/cli.md).
bool runTar(const std::string& archive, const fs::path& folder)
{
    const std::string parent = folder.parent_path().string();
    const std::string name = folder.filename().string();
    const char* argv[] = {"tar",          "-czf",       archive.c_str(), "-C",
                          parent.c_str(), name.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "tar", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void writeSupportBundle(const std::string& file, const BundleParts& parts)
{
    std::error_code ec;
    std::string work = (fs::temp_directory_path(ec) / "gc6890-bundle-XXXXXX").string();
    if (!mkdtemp(work.data()))
        throw CommandFailure(kExitFailed, "--bundle: cannot make a temporary folder");
    const fs::path folder = fs::path(work) / "gc6890-doctor";
    fs::create_directory(folder, ec);
    writeFile(folder / "report.txt", parts.report);
    fs::copy_file(parts.capturePath, folder / "capture.jsonl", ec);
    fs::copy_file(commsLogPath(), folder / "hp6890.err", ec);  // absent when nothing was logged
    if (!parts.hardwareProfile.empty())
        writeFile(folder / "hardware.toml", parts.hardwareProfile);
    writeFile(folder / "settings.ini", maskedSettings());
    writeFile(folder / "versions.txt",
              std::string("gc6890 ") + GC6890_VERSION + "\nlibgc6890 " + libraryVersion() +
                  "\nfirmware " + (parts.firmware.empty() ? "(not read)" : parts.firmware) + "\n");
    const bool written = runTar(fs::absolute(file, ec).string(), folder);
    fs::remove_all(work, ec);
    if (!written)
        throw CommandFailure(kExitFailed, "--bundle: the tar program could not write " + file);
}

}  // namespace gc6890::cli
