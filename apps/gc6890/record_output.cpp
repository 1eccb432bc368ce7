#include "record_output.h"

#include <fstream>
#include <iostream>

#include "cli_error.h"

namespace gc6890::cli {

int putRecord(const std::string& text, const std::string& out)
{
    if (out.empty()) {
        std::cout << text;
        return kExitOk;
    }
    std::ofstream file(out, std::ios::trunc);
    file << text;
    file.flush();
    if (!file)
        throw CommandFailure(kExitFailed, "record: cannot write " + out);
    std::cout << out << '\n';
    return kExitOk;
}

}  // namespace gc6890::cli
