// Files that survive a kill or a power failure whole or not at all.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace gc6890 {

// The whole file at `path` into `text`; false when it cannot be read.
bool readWhole(const std::string& path, std::string& text);

// "<what>: <the text of errno>", for errors that name a file and the system's reason.
std::string systemError(const std::string& what);

// fsync of a folder, so that a file created or renamed in it stays after a power failure.
bool syncFolder(const std::string& folder);

// Writes `content` to "<path>.tmp", syncs it and renames it to `path`: a kill leaves either
// no file at `path` or the whole one. False with `error` naming the file and the reason.
// The caller syncs the folder once its files are all written. `mode` is a new file's (a
// temporary file left by a writer that was killed keeps its own: remove it first).
bool writeFileDurably(const std::string& path, std::string_view content, std::string& error,
                      mode_t mode = 0644);

}  // namespace gc6890
