// The settings a user may view and change with "gc6890 config": each key, where it lives
// in the settings store, its default and what values it takes. One table, so that
// "config show", "config set" and docs/settings.md name the same keys.
#pragma once

#include <string>
#include <vector>

namespace gc6890::cli {

struct SettingKey {
    const char* name;         // as typed after "config set" (matched without regard to case)
    const char* path;         // the settings-store path, value name last
    const char* defaultText;  // what stands in when the store has no value
    const char* meaning;      // one line for "config show"
    // Checks a value and returns it as it is to be stored ("e" becomes "E"), or sets
    // `problem` and returns "".
    std::string (*normalise)(const std::string& value, std::string& problem);
};

const std::vector<SettingKey>& settingKeys();

// The key of that name, or nullptr.
const SettingKey* findSettingKey(const std::string& name);

}  // namespace gc6890::cli
