#include "platform/installation.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

// The build gives the install layout (GNUInstallDirs, relative to the prefix) and the
// version; the source folder stands in for the data folder in the build tree.
#ifndef GC6890_INSTALL_LIBDIR
#error "the build defines GC6890_INSTALL_LIBDIR, GC6890_INSTALL_BINDIR, GC6890_INSTALL_DATADIR"
#endif

namespace gc6890 {

namespace {

// The folder of the file this function was loaded from: the library, resolved through
// symbolic links to the installation it belongs to.
std::string libraryFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) == 0 || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved))
        return {};
    std::string file = resolved;
    return file.substr(0, file.rfind('/'));
}

}  // namespace

const char* libraryVersion()
{
    return GC6890_LIBRARY_VERSION;
}

std::string installationPrefix()
{
    const std::string folder = libraryFolder();
    const std::string libdir = std::string("/") + GC6890_INSTALL_LIBDIR;
    if (folder.size() <= libdir.size() ||
        folder.compare(folder.size() - libdir.size(), libdir.size(), libdir) != 0)
        return {};
    return folder.substr(0, folder.size() - libdir.size());
}

std::string installedProgram(const std::string& name)
{
    const std::string prefix = installationPrefix();
    if (prefix.empty())
        return {};
    const std::string program = prefix + "/" + GC6890_INSTALL_BINDIR + "/" + name;
    return access(program.c_str(), X_OK) == 0 ? program : std::string();
}

std::string dataDirectory()
{
    const std::string prefix = installationPrefix();
    if (prefix.empty())
        return GC6890_SOURCE_DIR;
    return prefix + "/" + GC6890_INSTALL_DATADIR + "/gc6890";
}

}  // namespace gc6890
