// gc6890 ports: the serial devices present, and "sim".
#include <iostream>

#include "cli_error.h"
#include "command_table.h"
#include "serial_devices.h"

namespace gc6890::cli {

void addPortsCommand(CommandTable& table)
{
    CLI::App* ports = table.app().add_subcommand(
        "ports", "List the serial devices present (by-id names first) and the built-in simulator");
    table.add(ports, [] {
        for (const SerialDevice& device : serialDevices())
            std::cout << device.path << (device.target.empty() ? "" : "  -> " + device.target)
                      << '\n';
        std::cout << "sim  (the built-in simulator)\n";
        return int{kExitOk};
    });
}

}  // namespace gc6890::cli
