#include "support/temp_home.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gc6890::test {

TempHome::TempHome()
{
    char folder[] = "/tmp/gc6890-home-XXXXXX";
    m_path = mkdtemp(folder);
    std::filesystem::create_directories(m_path + "/c/dravik");
    m_home = std::make_unique<ScopedEnv>("GC6890_HOME", m_path);
    // The named port mutex's lock file too: test programs that ctest runs alongside each
    // other, and the user's own programs, must not share one mutex and wait for each other.
    m_runtime = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_path);
}

TempHome::~TempHome()
{
    m_runtime.reset();
    m_home.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempHome::write(const std::string& relative, const std::string& text) const
{
    const std::string path = m_path + "/" + relative;
    std::ofstream(path) << text;
    return path;
}

std::string TempHome::read(const std::string& relative) const
{
    std::ifstream file(m_path + "/" + relative);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool TempHome::exists(const std::string& relative) const
{
    return std::filesystem::exists(m_path + "/" + relative);
}

}  // namespace gc6890::test
