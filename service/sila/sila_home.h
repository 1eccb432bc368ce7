// What the SiLA 2 server keeps in $GC6890_HOME/sila/: its UUID, the name SetServerName
// gave it, and its certificates. Every file is written whole (a temporary file, then a
// rename), so a crash never leaves half of one.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>

#include "sequence/durable_file.h"

namespace gc6890::sila {

// $GC6890_HOME/sila
std::string silaFolder();

// Writes `text` to `path` through a temporary file in the same folder, with `mode`.
// Throws std::runtime_error naming the file when it cannot.
void writeWhole(const std::string& path, const std::string& text, mode_t mode);

// A random (version 4) UUID in lower case.
std::string randomUuid();
bool isUuid(const std::string& text);

// The server's UUID from silaFolder()/server-uuid, made on the first start and never
// changed after. Throws std::runtime_error naming the file when it can be neither read nor
// made.
std::string loadOrMakeServerUuid();

// The server's SiLA name: stored in silaFolder()/server-name. The first start stores the
// name it was given (the service's --name); from then on the stored one wins, and only
// SetServerName changes it. Safe to use from any thread.
class ServerName {
public:
    // Throws std::runtime_error when the name cannot be stored at the first start.
    explicit ServerName(const std::string& firstName);
    std::string get() const;
    // Stores the new name; throws std::runtime_error naming the file when it cannot (the
    // old name then stays).
    void set(const std::string& name);
    // `listener` is called at once with the name, then with each new one, in the order they
    // are set (under the name's lock: no change falls between the first call and the next).
    // The discovery announcement follows the name so. One listener; it must not use this.
    void onChange(std::function<void(const std::string&)> listener);

private:
    mutable std::mutex mutex_;
    std::string name_;
    std::function<void(const std::string&)> listener_;
};

// A name as the standard's ServerName allows it: valid UTF-8 of at most 255 characters.
std::string tidyServerName(const std::string& name);

}  // namespace gc6890::sila
