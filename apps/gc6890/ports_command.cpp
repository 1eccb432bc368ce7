// gc6890 ports: the serial devices present, and "sim".
#include <filesystem>
#include <iostream>
#include <set>
#include <system_error>

#include "cli_error.h"
#include "command_table.h"

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

}  // namespace

void addPortsCommand(CommandTable& table)
{
    CLI::App* ports = table.app().add_subcommand(
        "ports", "List the serial devices present (by-id names first) and the built-in simulator");
    table.add(ports, [] {
        std::error_code ec;
        std::set<std::string> shown;
        // Stable names of USB adapters: they survive re-plugging, unlike ttyUSB numbers.
        for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
            const fs::path target = fs::canonical(entry.path(), ec);
            std::cout << entry.path().string();
            if (!ec) {
                std::cout << "  -> " << target.string();
                shown.insert(target.string());
            }
            std::cout << '\n';
        }
        ec.clear();
        std::set<std::string> others;
        for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
            const std::string device = "/dev/" + entry.path().filename().string();
            if (isRealSerialPort(entry.path()) && !shown.count(device) && fs::exists(device, ec))
                others.insert(device);
        }
        for (const std::string& device : others)
            std::cout << device << '\n';
        std::cout << "sim  (the built-in simulator)\n";
        return int{kExitOk};
    });
}

}  // namespace gc6890::cli
