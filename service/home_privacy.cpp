#include "service/home_privacy.h"

#include <sys/stat.h>

#include "platform/platform.h"

namespace gc6890 {

namespace {

// The home's files that hold secrets, relative to it.
constexpr const char* kSecretFiles[] = {
    "registry.ini", "service-token", "users.json", "sila/ca-key.pem", "sila/server-key.pem",
};

}  // namespace

std::string homePrivacyWarning(const std::string& home)
{
    struct stat info {};
    if (::stat(home.c_str(), &info) != 0 || (info.st_mode & 077) == 0)
        return {};
    std::string exposed;
    for (const char* name : kSecretFiles) {
        struct stat file {};
        if (::stat((home + "/" + name).c_str(), &file) == 0 && (file.st_mode & 044) != 0)
            exposed +=
                format("%s%s (%04o)", exposed.empty() ? "" : ", ", name, file.st_mode & 0777);
    }
    return format("warning: other users of this machine can get into the home %s (mode %04o)%s; "
                  "it holds the service's secrets: chmod 700 %s (docs/security.md)",
                  home.c_str(), info.st_mode & 0777,
                  exposed.empty() ? "" : (" and read " + exposed).c_str(), home.c_str());
}

}  // namespace gc6890
