#include "platform/drive_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace gc6890 {

std::string homeDirectory()
{
    if (const char* home = std::getenv("GC6890_HOME"); home && *home) {
        std::string folder = home;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    std::string userHome;
    if (const char* home = std::getenv("HOME"); home && *home)
        userHome = home;
    else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        userHome = entry->pw_dir;
    else
        userHome = "/tmp";  // no home at all: still a usable, predictable place
    return userHome + "/.local/share/gc6890";
}

std::string mapDrivePath(std::string_view path)
{
    const bool onDriveC = path.size() >= 3 && (path[0] == 'c' || path[0] == 'C') &&
                          path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    if (!onDriveC)
        return std::string(path);
    std::string mapped = homeDirectory() + "/c/";
    for (char ch : path.substr(3))
        mapped += ch == '\\' ? '/' : ch;
    return mapped;
}

bool makeDirectories(const std::string& folder)
{
    if (folder.empty())
        return false;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace gc6890
