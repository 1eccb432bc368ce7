// A fresh $GC6890_HOME for one test: the settings store, the comms log, the dump and the
// named mutexes' lock files ($XDG_RUNTIME_DIR) land in a temporary folder that is removed
// afterwards.
#pragma once

#include <memory>
#include <string>

#include "support/scoped_env.h"

namespace gc6890::test {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return m_path; }
    // Writes a file below the home folder with this text; its full path.
    std::string write(const std::string& relative, const std::string& text) const;
    // The text of a file below the home folder ("" when it does not exist).
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string m_path;
    std::unique_ptr<ScopedEnv> m_home;
    std::unique_ptr<ScopedEnv> m_runtime;
};

}  // namespace gc6890::test
