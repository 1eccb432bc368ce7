#include "platform/drive_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/cstring.h"
#include "platform/message_box.h"

namespace gc6890 {

namespace {

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

std::string homeDirectory()
{
    if (const char* home = std::getenv("GC6890_HOME"); home && *home)
        return withoutTrailingSlashes(home);
    // The XDG base directory rules ignore a relative XDG_DATA_HOME, and so do we.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return withoutTrailingSlashes(data) + "/gc6890";
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
    // The home holds secrets (the settings store's Token, the service's token, keys): it is
    // made for its user alone. Folders above and below it are ordinary ones.
    const std::string home = homeDirectory();
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), part == home ? 0700 : 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;  // a file stands where the folder goes
        return false;
    }
    return true;
}

bool makeDriveFolderFor(std::string_view path)
{
    const std::string mapped = mapDrivePath(path);
    if (mapped == path)
        return true;
    const std::string folder = mapped.substr(0, mapped.rfind('/'));
    if (makeDirectories(folder))
        return true;
    const int error = errno;
    static std::set<std::string> reported;  // one thread, by the library's rule
    if (reported.insert(folder).second) {
        const std::string text =
            format("Cannot make the folder %s for %s: %s.\nSet GC6890_HOME "
                   "to a folder you can write to.",
                   folder.c_str(), std::string(path).c_str(), std::strerror(error));
        MessageBox(nullptr, text.c_str(), "gc6890 home", MB_OK | MB_ICONSTOP);
    }
    errno = error;
    return false;
}

}  // namespace gc6890
