#include "method_files.h"

#include <filesystem>

#include "audit/sha256.h"
#include "cli_error.h"
#include "external/inlet_utils.h"

namespace gc6890::cli {

namespace fs = std::filesystem;

std::string methodNameFromUser(const std::string& typed)
{
    if (typed.empty() || typed.find('/') != std::string::npos)
        return typed;
    std::error_code ec;
    for (const std::string& candidate : {typed, typed + kMethodFileExtension}) {
        if (fs::is_regular_file(candidate, ec))
            return fs::absolute(candidate, ec).string();
    }
    return typed;
}

std::string methodFileName(const std::string& typed)
{
    CString name(methodNameFromUser(typed));
    AddMethodFileExtension("HP6890", name);
    return name.str();
}

LoadedMethod loadMethodFile(const std::string& typed)
{
    LoadedMethod method;
    method.fileName = methodFileName(typed);
    if (method.fileName.empty())
        throw CommandFailure(kExitBadInput, "no method file named");
    CFileS file;
    if (!file.Open(method.fileName.c_str(), CFileS::modeRead, nullptr))
        throw CommandFailure(kExitBadInput, file.GetErrorText().str());
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    SerializeGCandALS(archive, method.gc, method.als);
    file.Close();
    method.sha256 = fileSha256(method.fileName);
    return method;
}

}  // namespace gc6890::cli
