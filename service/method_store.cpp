#include "service/method_store.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "external/method_file_toml.h"
#include "platform/platform.h"

namespace gc6890 {

namespace fs = std::filesystem;

std::string plainMethodName(const std::string& typed, std::string& why)
{
    std::string name = typed;
    if (name.size() > 5 && name.ends_with(".toml"))
        name.resize(name.size() - 5);
    if (name.empty() || name.size() > 100) {
        why = "a method name has 1 to 100 characters";
        return {};
    }
    if (name.front() == '.') {
        why = "a method name does not begin with a dot";
        return {};
    }
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    });
    if (!plain) {
        why = "a method name has only letters, digits, '_', '-' and '.'";
        return {};
    }
    return name;
}

MethodCheck checkMethodText(const std::string& text, const std::string& fileName)
{
    MethodCheck check;
    CHP6890Method gc;
    CALS6890Method als;
    if (readMethodToml(text, fileName, gc, als, check.error)) {
        check.ok = true;
        check.runLengthMin = gc.GetRunLength();
        return check;
    }
    // "<file>:<line>: <key>: <problem>", or "<file>:<line>:<column>: not TOML: <problem>".
    check.file = fileName;
    std::string rest = check.error.substr(std::min(check.error.size(), fileName.size() + 1));
    std::size_t used = 0;
    try {
        check.line = std::stol(rest, &used);
    } catch (const std::exception&) {
        check.problem = rest;
        return check;
    }
    rest.erase(0, used);
    if (rest.starts_with(":") && rest.size() > 1 &&
        std::isdigit(static_cast<unsigned char>(rest[1]))) {
        check.column = std::stol(rest.substr(1), &used);
        rest.erase(0, used + 1);
    }
    if (rest.starts_with(": "))
        rest.erase(0, 2);
    const std::size_t colon = rest.find(": ");
    if (check.column == 0 && colon != std::string::npos) {
        check.key = rest.substr(0, colon);
        check.problem = rest.substr(colon + 2);
    } else
        check.problem = rest;
    return check;
}

std::vector<MethodEntry> MethodStore::list() const
{
    std::vector<MethodEntry> entries;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
        const std::string file = entry.path().filename().string();
        std::string why;
        if (!entry.is_regular_file(ec) || !file.ends_with(".toml") ||
            plainMethodName(file, why).empty())
            continue;
        MethodEntry method;
        method.name = file.substr(0, file.size() - 5);
        method.size = static_cast<long long>(entry.file_size(ec));
        struct stat info {};
        if (::stat(entry.path().c_str(), &info) == 0)
            method.modifiedMs =
                static_cast<long long>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        entries.push_back(method);
    }
    std::sort(entries.begin(), entries.end(),
              [](const MethodEntry& a, const MethodEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<std::string> MethodStore::read(const std::string& name) const
{
    std::ifstream file(path(name), std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

namespace {

// One change of the folder at a time in this process: the version kept, the upload noted
// and the file replaced must not interleave with another upload's.
std::mutex& changes()
{
    static std::mutex mutex;
    return mutex;
}

}  // namespace

bool MethodStore::store(const std::string& name, const std::string& text, const std::string& user,
                        std::string& error) const
{
    const std::lock_guard<std::mutex> lock(changes());
    makeDirectories(folder_);
    const std::string target = path(name);
    const MethodHistory history(folder_);
    if (const std::optional<std::string> earlier = read(name)) {
        // The same content again is no new version: the first upload keeps its time and user.
        if (*earlier == text)
            return true;
        if (!history.keep(name, *earlier, error))
            return false;
    }
    if (!history.noteUpload(name, text, user, error))
        return false;
    static unsigned uploads = 0;
    const std::string temporary =
        target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++uploads);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot write " + target + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot write " + target + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool MethodStore::remove(const std::string& name, std::string& error) const
{
    const std::lock_guard<std::mutex> lock(changes());
    if (const std::optional<std::string> earlier = read(name)) {
        if (!MethodHistory(folder_).keep(name, *earlier, error))
            return false;
    }
    if (::unlink(path(name).c_str()) == 0)
        return true;
    error = "cannot delete " + path(name) + ": " + std::strerror(errno);
    return false;
}

}  // namespace gc6890
