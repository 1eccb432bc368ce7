#include "service/method_history.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "audit/sha256.h"
#include "platform/platform.h"
#include "sequence/durable_file.h"
#include "sequence/sequence_clock.h"
#include "service/snapshot.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUploadsFile = "/uploads.jsonl";
constexpr std::size_t kCompactTimeLength = 20;  // "20261207T221500.123Z"
constexpr std::size_t kHashInName = 12;

// "2026-12-07T22:15:00.123Z" as a file name has it: "20261207T221500.123Z".
std::string compactTime(const std::string& iso)
{
    std::string compact;
    std::copy_if(iso.begin(), iso.end(), std::back_inserter(compact),
                 [](char c) { return c != '-' && c != ':'; });
    return compact;
}

std::string isoFromCompact(const std::string& c)
{
    return c.substr(0, 4) + "-" + c.substr(4, 2) + "-" + c.substr(6, 2) + "T" + c.substr(9, 2) +
           ":" + c.substr(11, 2) + ":" + c.substr(13);
}

std::string modifiedTime(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return isoTime(static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 +
                   info.st_mtim.tv_nsec / 1000000);
}

}  // namespace

std::vector<MethodHistory::Upload> MethodHistory::uploads(const std::string& name) const
{
    std::vector<Upload> found;
    std::string text;
    if (!readWhole(folder(name) + kUploadsFile, text))
        return found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        // A line torn by a kill is left out: the version it named then shows no user. A
        // field changed by hand into something other than text reads as absent.
        const nlohmann::json upload = nlohmann::json::parse(line, nullptr, false);
        if (upload.is_object())
            found.push_back({textField(upload, "time"), textField(upload, "sha256"),
                             textField(upload, "user")});
    }
    return found;
}

MethodHistory::Upload MethodHistory::uploadOf(const std::string& name, const std::string& sha256,
                                              const std::vector<Upload>& uploads) const
{
    const auto newest = std::find_if(uploads.rbegin(), uploads.rend(),
                                     [&](const Upload& u) { return u.sha256 == sha256; });
    if (newest != uploads.rend())
        return *newest;
    return {modifiedTime(folder_ + "/" + name + ".toml"), sha256, ""};
}

bool MethodHistory::keep(const std::string& name, const std::string& current,
                         std::string& error) const
{
    const std::string sha256 = sha256Hex(current);
    const Upload upload = uploadOf(name, sha256, uploads(name));
    const std::string kept = folder(name) + "/" + compactTime(upload.time) + "-" +
                             sha256.substr(0, kHashInName) + ".toml";
    if (fs::exists(kept))
        return true;
    makeDirectories(folder(name));
    if (!writeFileDurably(kept, current, error))
        return false;
    if (!syncFolder(folder(name))) {
        error = systemError("cannot sync " + folder(name));
        return false;
    }
    return true;
}

bool MethodHistory::noteUpload(const std::string& name, const std::string& text,
                               const std::string& user, std::string& error) const
{
    makeDirectories(folder(name));
    const std::string path = folder(name) + kUploadsFile;
    const std::string line =
        nlohmann::json{{"time", isoTime(unixNowMs())}, {"sha256", sha256Hex(text)}, {"user", user}}
            .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
        "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = systemError("cannot write " + path);
        return false;
    }
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                    ::fsync(fd) == 0;
    if (!ok)
        error = systemError("cannot write " + path);
    ::close(fd);
    if (ok && !syncFolder(folder(name))) {  // the file's first line creates it
        error = systemError("cannot sync " + folder(name));
        return false;
    }
    return ok;
}

std::vector<MethodVersion> MethodHistory::versions(const std::string& name) const
{
    const std::vector<Upload> known = uploads(name);
    std::vector<std::string> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder(name), ec)) {
        const std::string file = entry.path().filename().string();
        if (file.size() == kCompactTimeLength + 1 + kHashInName + 5 && file.ends_with(".toml"))
            files.push_back(file);
    }
    std::sort(files.begin(), files.end());  // by the upload time first in the name
    std::vector<MethodVersion> versions;
    for (const std::string& file : files) {
        std::string text;
        if (!readWhole(folder(name) + "/" + file, text))
            continue;
        MethodVersion version{isoFromCompact(file.substr(0, kCompactTimeLength)), sha256Hex(text),
                              "", false};
        // The upload of this content at this time names who; an older trail may lack it.
        for (const Upload& upload : known)
            if (upload.sha256 == version.sha256 &&
                compactTime(upload.time) == compactTime(version.time))
                version.user = upload.user;
        versions.push_back(version);
    }
    std::string current;
    if (readWhole(folder_ + "/" + name + ".toml", current)) {
        const Upload upload = uploadOf(name, sha256Hex(current), known);
        versions.push_back({upload.time, upload.sha256, upload.user, true});
    }
    return versions;
}

}  // namespace gc6890
