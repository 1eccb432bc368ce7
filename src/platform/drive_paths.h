// Where the library's files live. The library names files on drive c: (the comms log
// "c:\dravik\hp6890.err"); here drive c: is a folder under the home directory of gc6890.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

// $GC6890_HOME when set and not empty, else $XDG_DATA_HOME/gc6890 when that is an absolute
// path, else ~/.local/share/gc6890 ($HOME, or the password entry's home when HOME is
// unset). No trailing slash; the folder may not exist yet (files made under it make it).
std::string homeDirectory();

// "c:\dravik\hp6890.err" (drive letter in either case, "\" or "/" after it) becomes
// homeDirectory() + "/c/dravik/hp6890.err", every backslash turned into a slash. Any other
// path is returned unchanged.
std::string mapDrivePath(std::string_view path);

// Creates the folder and its missing parents (mode 0755, less the umask). False, with errno
// set, when one cannot be made.
bool makeDirectories(const std::string& folder);

// Makes the folder of a file about to be created on drive c: ("c:\dravik\hp6890.err"), so
// that a fresh home works with nothing made beforehand. When it cannot be made, says so
// once per folder (a message box naming the folder and the reason) and returns false.
// Any other path is left alone (true).
bool makeDriveFolderFor(std::string_view path);

}  // namespace gc6890
