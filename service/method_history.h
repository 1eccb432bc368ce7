// The versions of stored methods: a method replaced by an upload of the same name (or
// deleted) is kept first, so that the exact content the GC got at any time can be shown.
//
//   methods/.history/NAME/20261207T221500.123Z-3f2c9a01b4d7.toml
//       an earlier version: the UTC time it was uploaded, the first 12 hex digits of its
//       SHA-256 (so that names sort by time and two versions never share one)
//   methods/.history/NAME/uploads.jsonl
//       one line an upload that changed the method: {"time","sha256","user"}, so that
//       every version, the current one included, names who uploaded it
//
// The folder begins with a dot: it is never a method name, and the method list skips it.
#pragma once

#include <string>
#include <vector>

namespace gc6890 {

struct MethodVersion {
    std::string time;    // UTC ISO-8601 to the millisecond, when it was uploaded
    std::string sha256;  // of the file's bytes as stored
    std::string user;    // who uploaded it; "" when unknown (a file put there by hand)
    bool current = false;
};

class MethodHistory {
public:
    explicit MethodHistory(std::string methodFolder) : folder_(std::move(methodFolder)) {}

    std::string folder(const std::string& name) const { return folder_ + "/.history/" + name; }

    // Keeps `current`, the stored file of `name` about to be replaced or removed, as a
    // version, written and synced before the caller touches the stored file. A version
    // already kept under its time and hash is left as it is. False with `error` naming
    // the file.
    bool keep(const std::string& name, const std::string& current, std::string& error) const;

    // Notes that `user` uploaded `text` as `name` now: one line, synced.
    bool noteUpload(const std::string& name, const std::string& text, const std::string& user,
                    std::string& error) const;

    // Every kept version of `name` oldest first, then the stored file as the current one.
    // Empty when there is neither.
    std::vector<MethodVersion> versions(const std::string& name) const;

private:
    struct Upload {
        std::string time, sha256, user;
    };
    std::vector<Upload> uploads(const std::string& name) const;
    // When and by whom the current file was uploaded: the newest upload of its content,
    // else the file's modification time and no user.
    Upload uploadOf(const std::string& name, const std::string& sha256,
                    const std::vector<Upload>& uploads) const;

    std::string folder_;
};

}  // namespace gc6890
