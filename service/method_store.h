// The method folder as the service shows it: plain method names, files checked before
// they are stored, stored whole or not at all. Files only: no instrument object is used.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/method_history.h"

namespace gc6890 {

// A plain name: letters, digits, "_", "-" and "." (not first), at most 100 characters;
// no folder, no leading dot. A trailing ".toml" is dropped. Empty (with `why`) when the
// name cannot be used.
std::string plainMethodName(const std::string& typed, std::string& why);

struct MethodCheck {
    bool ok = false;
    double runLengthMin = 0;
    std::string error;  // the whole message, "<file>:<line>: <key>: <problem>"
    std::string file;
    long line = 0;
    long column = 0;  // for text that is not TOML
    std::string key;
    std::string problem;
};

// Reads the text as a method file named `fileName`, as the library reads it.
MethodCheck checkMethodText(const std::string& text, const std::string& fileName);

struct MethodEntry {
    std::string name;
    long long size = 0;
    long long modifiedMs = 0;
};

class MethodStore {
public:
    explicit MethodStore(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    std::string path(const std::string& name) const { return folder_ + "/" + name + ".toml"; }
    std::vector<MethodEntry> list() const;
    std::optional<std::string> read(const std::string& name) const;
    // Writes the file through a temporary file and a rename, `user` noted as its uploader.
    // An earlier file of that name with other content is kept as a version first
    // (method_history.h); the same content again changes nothing. False with `error` set
    // when it cannot be written; an earlier file of that name is then left as it was.
    bool store(const std::string& name, const std::string& text, const std::string& user,
               std::string& error) const;
    // Removes the stored method, kept as a version first. False with `error` set when it
    // cannot be removed.
    bool remove(const std::string& name, std::string& error) const;
    // Every version of `name`, oldest first, the stored one last and current.
    std::vector<MethodVersion> versions(const std::string& name) const
    {
        return MethodHistory(folder_).versions(name);
    }

private:
    std::string folder_;
};

}  // namespace gc6890
