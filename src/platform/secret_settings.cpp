#include "platform/secret_settings.h"

#include <cctype>

namespace gc6890 {

bool isSecretSetting(std::string_view path)
{
    const std::size_t slash = path.rfind('\\');
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool namesFile = name.size() >= 4 && name.compare(name.size() - 4, 4, "file") == 0;
    return !namesFile &&
           (name.find("token") != std::string::npos || name.find("password") != std::string::npos ||
            name.find("secret") != std::string::npos);
}

std::string shownSettingValue(std::string_view path, std::string_view value)
{
    return !value.empty() && isSecretSetting(path) ? "********" : std::string(value);
}

}  // namespace gc6890
