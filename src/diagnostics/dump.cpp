#include "diagnostics/dump.h"

#include <ctime>
#include <fstream>
#include <memory>

namespace {

// How many fallback names are tried before a dump is given up: the names lie in one
// folder, so if this many cannot be opened none will.
constexpr int kMaxFallbackNames = 16;

std::unique_ptr<std::ofstream> g_dumpStream;
int g_fallbackCounter = 0;

std::unique_ptr<std::ofstream> openForAppend(const CString& name)
{
    return std::make_unique<std::ofstream>(gc6890::mapDrivePath(name.str()), std::ios::app);
}

// The process-wide library unload: close the dump stream.
struct DumpCleanUp {
    ~DumpCleanUp() { CleanUpDump(); }
} g_cleanUpAtUnload;

}  // namespace

void Dump(CString& message)
{
    if (!g_dumpStream)
        g_dumpStream = openForAppend("c:\\6890dump.txt");
    for (int tries = 0; g_dumpStream && g_dumpStream->fail(); ++tries) {
        g_dumpStream.reset();
        if (tries == kMaxFallbackNames)
            return;
        CString name;
        name.Format("c:\\%s%d.txt", "6890dump", g_fallbackCounter++);
        g_dumpStream = openForAppend(name);
    }
    const std::time_t now = std::time(nullptr);
    char when[64];
    ctime_r(&now, when);
    *g_dumpStream << "File: " << __FILE__ << "\tLine: " << 67 << "\tTime: " << when
                  << message.c_str();
    g_dumpStream->flush();
}

void CleanUpDump()
{
    g_dumpStream.reset();
}
