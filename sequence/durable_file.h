// Files that survive a kill or a power failure whole or not at all.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

// fsync of a folder, so that a file created or renamed in it stays after a power failure.
bool syncFolder(const std::string& folder);

// Writes `content` to "<path>.tmp", syncs it and renames it to `path`: a kill leaves either
// no file at `path` or the whole one. False with `error` naming the file and the reason.
// The caller syncs the folder once its files are all written.
bool writeFileDurably(const std::string& path, std::string_view content, std::string& error);

}  // namespace gc6890
