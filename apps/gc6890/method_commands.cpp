// gc6890 method check | show | length | new: method files, without the instrument.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "cli_error.h"
#include "command_table.h"
#include "external/inlet_utils.h"
#include "external/method_file_toml.h"
#include "method_files.h"

namespace gc6890::cli {

namespace {

int checkMethod(const std::string& typed)
{
    const LoadedMethod method = loadMethodFile(typed);
    std::printf("%s: ok, run length %.2f min\n", method.fileName.c_str(), method.gc.GetRunLength());
    return kExitOk;
}

int showMethod(const std::string& typed)
{
    const LoadedMethod method = loadMethodFile(typed);
    std::cout << "# " << method.fileName << " with every key, defaults included\n"
              << writeMethodToml(method.gc, method.als);
    return kExitOk;
}

int printLength(const std::string& typed)
{
    const LoadedMethod method = loadMethodFile(typed);
    std::printf("%.2f\n", method.gc.GetRunLength());
    return kExitOk;
}

// Writes the starting method; an existing file is never replaced.
int newMethod(std::string file)
{
    if (!file.ends_with(kMethodFileExtension))
        file += kMethodFileExtension;
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        throw CommandFailure(kExitBadInput,
                             "method new: " + file + " already exists; choose another name");
    const std::string temporary = file + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << methodTemplate();
        out.flush();
        if (!out) {
            ::unlink(temporary.c_str());
            throw CommandFailure(kExitFailed, "method new: cannot write " + file);
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        ::unlink(temporary.c_str());
        throw CommandFailure(kExitFailed, "method new: cannot write " + file + ": " + ec.message());
    }
    std::cout << file << '\n';
    return kExitOk;
}

void addFileCommand(CommandTable& table, CLI::App* group, const char* name, const char* help,
                    int (*action)(const std::string&))
{
    CLI::App* command = group->add_subcommand(name, help);
    auto file = std::make_shared<std::string>();
    command->add_option("FILE", *file, "Method file, or a method name from the methods folder")
        ->required();
    table.add(command, [file, action] { return action(*file); });
}

}  // namespace

void addMethodCommands(CommandTable& table)
{
    CLI::App* method = table.app().add_subcommand("method", "Check, print or create method files");
    method->require_subcommand(1);
    addFileCommand(table, method, "check",
                   "Read and check a method file; errors name the file, line and key", checkMethod);
    addFileCommand(table, method, "show", "Print a method with every key, defaults included",
                   showMethod);
    addFileCommand(table, method, "length", "Print a method's run length in minutes", printLength);

    CLI::App* create =
        method->add_subcommand("new", "Write a commented starting method (never replaces a file)");
    auto file = std::make_shared<std::string>();
    create->add_option("FILE", *file, "File to create (.toml is added when missing)")->required();
    table.add(create, [file] { return newMethod(*file); });
}

}  // namespace gc6890::cli
