#include "serial_devices.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace gc6890::cli {

namespace fs = std::filesystem;

namespace {

// A tty with a device behind it that is not a placeholder of the platform's legacy
// serial driver (which lists ttyS0 to ttyS31 whether or not a port is fitted).
bool isRealSerialPort(const fs::path& ttyClassEntry)
{
    std::error_code ec;
    const fs::path device = ttyClassEntry / "device";
    if (!fs::exists(device, ec))
        return false;
    const fs::path subsystem = fs::read_symlink(device / "subsystem", ec);
    return ec || subsystem.filename() != "platform";
}

// The processes with a descriptor open on the device (those this user may look at).
std::vector<DeviceHolder> holders(const std::string& path)
{
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    std::vector<DeviceHolder> found;
    if (ec)
        return found;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(name) == getpid())
            continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) != device || linkError)
                continue;
            DeviceHolder holder;
            holder.pid = std::stoi(name);
            std::ifstream in(process.path() / "cmdline");
            for (std::string word; std::getline(in, word, '\0');)
                holder.commandLine += (holder.commandLine.empty() ? "" : " ") + word;
            found.push_back(std::move(holder));
            break;
        }
    }
    return found;
}

}  // namespace

bool DeviceHolder::isService() const
{
    return commandLine.find("gc6890") != std::string::npos &&
           commandLine.find(" serve") != std::string::npos;
}

std::vector<SerialDevice> serialDevices()
{
    std::vector<SerialDevice> devices;
    std::error_code ec;
    std::set<std::string> shown;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        std::error_code targetError;
        const fs::path target = fs::canonical(entry.path(), targetError);
        devices.push_back({entry.path().string(), targetError ? "" : target.string()});
        if (!targetError)
            shown.insert(target.string());
    }
    ec.clear();
    std::set<std::string> others;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        std::error_code existsError;
        const std::string device = "/dev/" + entry.path().filename().string();
        if (isRealSerialPort(entry.path()) && !shown.count(device) &&
            fs::exists(device, existsError))
            others.insert(device);
    }
    for (const std::string& device : others)
        devices.push_back({device, ""});
    return devices;
}

std::string deviceProblem(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return "missing: no such device (unplugged, or another name; gc6890 ports lists them)";
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return "no permission for this user: join the dialout group (sudo usermod -aG dialout "
               "$USER, then log in again)";
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? "held by another program (opened exclusively)" : std::string();
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);  // drops our lock at once
    if (!held)
        return {};
    std::string text = "held by another program";
    for (const DeviceHolder& holder : holders(path)) {
        text += "; pid " + std::to_string(holder.pid) + ": " + holder.commandLine;
        if (holder.isService())
            text += " (a running gc6890 serve: ask it with gc6890 --service http://HOST:PORT "
                    "..., or stop it, e.g. systemctl stop gc6890@NAME)";
    }
    return text;
}

}  // namespace gc6890::cli
