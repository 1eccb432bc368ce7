// Helpers for the simulator tests: one line out, one line back over the in-process line.
#pragma once

#include <string>

#include "sim/in_process_line.h"

namespace gc6890::sim::simtest {

// Reads one line (without its line feed) within timeoutMs of instrument time; empty when
// none came.
inline std::string readLine(InProcessLine& line, int timeoutMs = 1000)
{
    std::string text;
    char c = 0;
    while (true) {
        const auto result = line.read(&c, 1, timeoutMs);
        if (result.status != SerialPortBackend::ReadStatus::Data)
            return text;
        if (c == '\n')
            return text;
        text += c;
    }
}

inline std::string ask(InProcessLine& line, const std::string& command, int timeoutMs = 1000)
{
    line.write(command + "\n", 1000);
    return readLine(line, timeoutMs);
}

inline InProcessLine& opened(InProcessLine& line)
{
    std::string error;
    line.open(error);
    return line;
}

}  // namespace gc6890::sim::simtest
