// Files of the source tree that tests read: example methods, simulator profiles, data files.
#pragma once

#include <filesystem>

namespace gc6890::test {

// `relative` under the repository's root. The root comes from the build rather than from
// __FILE__, which a compiler cache may rewrite relative to wherever an object was compiled.
inline std::filesystem::path sourcePath(const std::filesystem::path& relative = {})
{
    return (std::filesystem::path(GC6890_SOURCE_DIR) / relative).lexically_normal();
}

}  // namespace gc6890::test
