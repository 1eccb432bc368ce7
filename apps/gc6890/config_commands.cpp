// gc6890 config show | set KEY VALUE | path: the settings store.
#include <iostream>

#include "cli_error.h"
#include "command_table.h"
#include "platform/platform.h"
#include "platform/secret_settings.h"
#include "settings_keys.h"

namespace gc6890::cli {

namespace {

int showSettings()
{
    const SettingsStore store;
    std::cout << "# " << store.filePath() << '\n';
    for (const SettingKey& key : settingKeys()) {
        std::string value;
        const bool stored = store.readText(key.path, value);
        std::cout << key.name << " = "
                  << (stored ? shownSettingValue(key.path, value) : std::string(key.defaultText))
                  << (stored ? "" : "  (default)") << "\n    " << key.meaning << '\n';
    }
    return kExitOk;
}

int setSetting(const std::string& name, const std::string& value)
{
    const SettingKey* key = findSettingKey(name);
    if (!key) {
        std::string known;
        for (const SettingKey& k : settingKeys())
            known += std::string(known.empty() ? "" : ", ") + k.name;
        throw CommandFailure(kExitBadInput,
                             "config set: unknown key \"" + name + "\" (keys: " + known + ")");
    }
    // The store is a line-based text file: a control character would break it apart.
    for (const unsigned char c : value) {
        if (c < 0x20 || c == 0x7f)
            throw CommandFailure(kExitBadInput, std::string("config set ") + key->name +
                                                    ": the value holds a control character (code " +
                                                    std::to_string(c) + "); type it on one line");
    }
    std::string problem;
    const std::string stored = key->normalise(value, problem);
    if (!problem.empty())
        throw CommandFailure(kExitBadInput,
                             std::string("config set ") + key->name + ": " + problem);
    SettingsStore store;
    if (!store.writeText(key->path, stored))
        throw CommandFailure(kExitFailed, "config set " + std::string(key->name) +
                                              ": cannot write " + store.filePath());
    std::cout << key->name << " = " << shownSettingValue(key->path, stored) << '\n';
    return kExitOk;
}

}  // namespace

void addConfigCommands(CommandTable& table)
{
    CLI::App* config = table.group("config", "Show or change the settings store");

    table.add(config->add_subcommand("show", "Print every setting with its value and meaning"),
              showSettings);

    CLI::App* set =
        config->add_subcommand("set", "Store one setting (see config show for the keys)");
    auto name = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    set->add_option("KEY", *name, "Setting name, e.g. Port, BaudRate, Timeout")->required();
    set->add_option("VALUE", *value, "New value")->required();
    table.add(set, [name, value] { return setSetting(*name, *value); });

    table.add(config->add_subcommand("path", "Print the settings store's file name"), [] {
        std::cout << SettingsStore().filePath() << '\n';
        return int{kExitOk};
    });
}

}  // namespace gc6890::cli
