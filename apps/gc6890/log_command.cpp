// gc6890 log [--follow]: the comms log.
#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "cli_error.h"
#include "command_table.h"
#include "comms_log_path.h"
#include "service_client.h"

namespace gc6890::cli {

namespace {

// Copies the file from `offset` to standard output; returns the new offset.
std::streamoff copyFrom(const std::string& path, std::streamoff offset)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return offset;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < offset)
        offset = 0;  // the log was moved to a backup and started again
    file.seekg(offset);
    std::cout << file.rdbuf();
    std::cout.flush();
    return size;
}

}  // namespace

void addLogCommand(CommandTable& table)
{
    CLI::App* log = table.app().add_subcommand("log", "Show the comms log");
    auto follow = std::make_shared<bool>(false);
    log->add_flag("-f,--follow", *follow, "Keep printing new entries until interrupted");
    const GlobalOptions* globals = &table.globals();
    table.add(log, [follow, globals] {
        if (auto service = chosenService(*globals)) {
            if (!*follow)
                return logViaService(*service);
            service->follow([](const std::string& name, const nlohmann::json& data) {
                if (name == "log")
                    std::cout << data.value("time", std::string()) << "\t\t"
                              << data.value("text", std::string()) << std::endl;
                return true;
            });
            return int{kExitOk};
        }
        const std::string path = commsLogPath();
        if (!*follow) {
            std::ifstream file(path, std::ios::binary);
            if (!file) {
                std::cerr << "gc6890: no comms log yet at " << path << '\n';
                return int{kExitOk};
            }
            std::cout << file.rdbuf();
            return int{kExitOk};
        }
        std::cerr << "gc6890: following " << path << " (Ctrl-C ends)\n";
        std::streamoff offset = 0;
        for (;;) {
            offset = copyFrom(path, offset);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
}

}  // namespace gc6890::cli
