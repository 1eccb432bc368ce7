#include "support/instrument_settings.h"

#include <cstdlib>
#include <filesystem>

#include "external/inlet_utils.h"
#include "external/method_library.h"

namespace gc6890::test {

int timeSlackMs()
{
    const char* slack = std::getenv("GC6890_TEST_TIME_SLACK_MS");
    return slack ? std::atoi(slack) : 0;
}

void usePort(const std::string& device, int timeoutMs, int logLevel)
{
    const CString key = "Inlets\\Hubrel\\Varnock\\";
    WriteRegistryPath(key + "Communications\\DefaultSettings", CString("FALSE"),
                      HKEY_LOCAL_MACHINE);
    WriteRegistryPath(key + "Port", CString(device), HKEY_LOCAL_MACHINE);
    WriteRegistryPath(key + "Timeout", timeoutMs, HKEY_LOCAL_MACHINE);
    WriteRegistryPath(key + "IgnoreSeverityLevel", logLevel, HKEY_LOCAL_MACHINE);
}

bool writeInjectionMethod(const std::string& path, float ovenMinutes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CHP6890Method gc;
    gc.m_Inlets[0].m_nType = 1;
    gc.m_Oven.m_fInitialTime = ovenMinutes;
    CALS6890Method als;
    als.m_Status.m_nFirstVial = 3;
    als.m_Status.m_nFrontInjector = 1;
    CFileS file;
    if (!file.Open(path.c_str(), CFileS::modeCreate | CFileS::modeWrite))
        return false;
    CArchiveS archive(&file, CArchiveS::store);
    return SerializeGCandALS(archive, gc, als) && file.Close();
}

}  // namespace gc6890::test
