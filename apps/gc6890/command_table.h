// The program's commands: each command group adds its CLI11 subcommands here with the
// action to run once the whole command line is parsed.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "console.h"

namespace gc6890::cli {

// The options that every command sees.
struct GlobalOptions {
    std::string port;  // --port: empty keeps the stored device
    std::string home;  // --home: empty keeps $GC6890_HOME
    bool trace = false;
    bool yes = false;
    bool no = false;
    std::string service;    // --service: empty keeps the Service setting
    std::string tokenFile;  // --token-file: empty keeps the Token setting
    std::string ca;         // --ca: empty keeps the ServiceCaFile setting
    std::string capture;    // --capture: the session's lines to this file (station/line_capture.h)

    Answer answer() const { return yes ? Answer::Yes : no ? Answer::No : Answer::Ask; }
};

// An action returns the exit code, or throws CommandFailure.
using CommandAction = std::function<int()>;

class CommandTable {
public:
    explicit CommandTable(CLI::App& app) : app_(app) {}

    CLI::App& app() { return app_; }
    GlobalOptions& globals() { return globals_; }

    // A command group ("gc6890 user ..."): one of its commands must follow its name.
    CLI::App* group(const std::string& name, const std::string& description)
    {
        CLI::App* group = app_.add_subcommand(name, description);
        group->require_subcommand(1);
        return group;
    }

    // A leaf command: `action` runs when the user chose it.
    void add(CLI::App* command, CommandAction action)
    {
        commands_.emplace_back(command, std::move(action));
    }

    // The action of the command the user chose, or nullptr.
    const CommandAction* chosen() const
    {
        for (const auto& [command, action] : commands_) {
            if (command->parsed())
                return &action;
        }
        return nullptr;
    }

private:
    CLI::App& app_;
    GlobalOptions globals_;
    std::vector<std::pair<CLI::App*, CommandAction>> commands_;
};

// The command groups, one file each.
void addMethodCommands(CommandTable& table);
void addConfigCommands(CommandTable& table);
void addPortsCommand(CommandTable& table);
void addLogCommand(CommandTable& table);
void addInstrumentCommands(CommandTable& table);
void addDemoCommand(CommandTable& table);
void addServeCommand(CommandTable& table);
void addWatchCommand(CommandTable& table);
void addSequenceCommands(CommandTable& table);
void addDoctorCommand(CommandTable& table);
void addProfileCommands(CommandTable& table);
void addAuditCommands(CommandTable& table);
void addUserCommands(CommandTable& table);
void addLabCommands(CommandTable& table);
// gc6890 sequence run (sequence_run_command.cpp), added to the sequence group.
void addSequenceRunCommand(CLI::App& sequence, CommandTable& table);
// gc6890 method versions (method_versions_command.cpp), added to the method group.
void addMethodVersionsCommand(CLI::App& method, CommandTable& table);

}  // namespace gc6890::cli
