// gc6890 audit verify | show: the audit trail of $GC6890_HOME/audit, read on this machine.
#include <iostream>

#include "audit/audit_reader.h"
#include "cli_error.h"
#include "command_table.h"
#include "platform/drive_paths.h"
#include "station/safe_text.h"

namespace gc6890::cli {

namespace {

std::string auditFolder()
{
    return homeDirectory() + "/audit";
}

int verify()
{
    const std::string folder = auditFolder();
    const AuditVerdict verdict = verifyAudit(folder);
    if (!verdict.whole)
        throw CommandFailure(kExitFailed, "the audit trail is not whole: " + verdict.problem);
    if (verdict.files == 0)
        std::cout << "no audit trail yet in " << folder << '\n';
    else
        std::cout << "the audit trail is whole: " << verdict.lines << " line(s) in "
                  << verdict.files << " file(s) of " << folder << '\n';
    return kExitOk;
}

// "method=a.toml sha256=3f2c..." from the parameters' object.
std::string paramsText(const nlohmann::json& params)
{
    std::string text;
    if (!params.is_object())
        return params.dump();
    for (const auto& [key, value] : params.items())
        text += (text.empty() ? "" : " ") + key + "=" +
                (value.is_string() ? value.get<std::string>() : value.dump());
    return text;
}

int show(const AuditFilter& filter, bool json)
{
    std::vector<nlohmann::json> lines;
    std::string error;
    if (!readAudit(auditFolder(), filter, lines, error))
        throw CommandFailure(kExitBadInput, error);
    for (const nlohmann::json& line : lines) {
        if (json) {
            std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                      << '\n';
            continue;
        }
        const auto text = [&line](const char* key) { return textField(line, key); };
        const std::string user = text("user");
        std::cout << text("time") << "  " << (user.empty() ? "-" : user + " (" + text("role") + ")")
                  << "  " << text("door") << ' ' << text("remote") << "  " << text("action") << "  "
                  << paramsText(line.value("params", nlohmann::json::object())) << "  "
                  << text("result") << '\n';
    }
    return kExitOk;
}

}  // namespace

void addAuditCommands(CommandTable& table)
{
    CLI::App* audit = table.group(
        "audit", "Check and read the audit trail: who changed what, through which door");
    CLI::App* verifyCommand = audit->add_subcommand(
        "verify", "Walk the trail's hash chain and anchor; name the first line changed, "
                  "removed or inserted (exit 1)");
    table.add(verifyCommand, [] { return verify(); });

    CLI::App* showCommand = audit->add_subcommand("show", "Print the trail's lines, oldest first");
    auto filter = std::make_shared<AuditFilter>();
    auto json = std::make_shared<bool>(false);
    showCommand->add_option("--since", filter->since,
                            "Only lines from this UTC time on (2026-12-03, 2026-12-03T14:00Z)");
    showCommand->add_option("--user", filter->user, "Only this account's lines");
    showCommand->add_option("--action", filter->action, "Only this action (load, run, ...)");
    showCommand->add_flag("--json", *json, "One JSON object a line, as the trail holds them");
    table.add(showCommand, [filter, json] { return show(*filter, *json); });
}

}  // namespace gc6890::cli
