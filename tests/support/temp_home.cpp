#include "support/temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace gc6890::test {

TempHome::TempHome()
{
    if (const char* previous = std::getenv("GC6890_HOME")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    char folder[] = "/tmp/gc6890-home-XXXXXX";
    m_path = mkdtemp(folder);
    std::filesystem::create_directories(m_path + "/c/dravik");
    setenv("GC6890_HOME", m_path.c_str(), 1);
}

TempHome::~TempHome()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    if (m_hadPrevious)
        setenv("GC6890_HOME", m_previous.c_str(), 1);
    else
        unsetenv("GC6890_HOME");
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
