// gc6890 method versions NAME: the stored method's versions, read from the methods folder
// on this machine as `gc6890 audit show` reads the trail (the service keeps them there;
// GET /api/v1/methods/NAME/versions gives the same from elsewhere).
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli_error.h"
#include "command_table.h"
#include "external/inlet_utils.h"
#include "service/method_store.h"

namespace gc6890::cli {

namespace {

int showVersions(const std::string& typed, bool json)
{
    std::string why;
    const std::string name = plainMethodName(typed, why);
    if (name.empty())
        throw CommandFailure(kExitBadInput, "method versions: " + typed + ": " + why);
    const MethodStore methods(methodFolder());
    const std::vector<MethodVersion> versions = methods.versions(name);
    if (versions.empty())
        throw CommandFailure(kExitBadInput,
                             "method versions: no method " + name + " in " + methods.folder());
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const MethodVersion& v : versions)
            list.push_back(
                {{"time", v.time}, {"sha256", v.sha256}, {"user", v.user}, {"current", v.current}});
        std::cout << nlohmann::json{{"name", name}, {"versions", list}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << '\n';
        return kExitOk;
    }
    std::cout << std::left << std::setw(26) << "TIME" << std::setw(66) << "SHA-256"
              << "USER\n";
    for (const MethodVersion& v : versions)
        std::cout << std::setw(26) << v.time << std::setw(66) << v.sha256
                  << (v.user.empty() ? "-" : v.user) << (v.current ? "  (current)" : "") << '\n';
    return kExitOk;
}

}  // namespace

void addMethodVersionsCommand(CLI::App& method, CommandTable& table)
{
    CLI::App* command = method.add_subcommand(
        "versions", "List a stored method's versions, oldest first: when, SHA-256, who uploaded");
    auto name = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    command->add_option("NAME", *name, "Method name in the methods folder")->required();
    command->add_flag("--json", *json, "One JSON object, as GET /api/v1/methods/NAME/versions");
    table.add(command, [name, json] { return showVersions(*name, *json); });
}

}  // namespace gc6890::cli
