// Where this copy of the library is installed, found from the library's own file, so that
// an installation works from any prefix (/usr, /opt/gc6890, a folder in /tmp) with nothing
// set in the environment.
#pragma once

#include <string>

namespace gc6890 {

// The library's version, "MAJOR.MINOR.PATCH".
const char* libraryVersion();

// The prefix the library is installed under ("/usr" for /usr/lib/.../libgc6890.so.0), or
// an empty text when the library does not run from an installation (the build tree).
std::string installationPrefix();

// A program installed beside the library: <prefix>/bin/NAME when it exists and may be
// run; else an empty text.
std::string installedProgram(const std::string& name);

// The folder of the files installed beside the programs: <prefix>/share/gc6890. In the
// build tree, where there is no installation, the source tree stands in for it, so a file
// installed as share/gc6890/REL is found as REL below the source tree.
std::string dataDirectory();

}  // namespace gc6890
