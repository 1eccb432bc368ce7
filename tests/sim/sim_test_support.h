// Helpers for the simulator tests: one line out, one line back over the in-process line,
// and the stored method read back and sent again as the library does it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/in_process_line.h"
#include "sim/line_format.h"

namespace gc6890::sim::simtest {

// Reads one line (without its line feed) within timeoutMs of instrument time; empty when
// none came.
inline std::string readLine(InProcessLine& line, int timeoutMs = 1000)
{
    std::string text;
    char c = 0;
    while (line.read(&c, 1, timeoutMs).status == SerialPortBackend::ReadStatus::Data && c != '\n')
        text += c;
    return text;
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

// The last refusal the instrument traces lands in `refusal`.
inline void keepRefusal(InProcessLine& line, std::string& refusal)
{
    line.instrument().trace = [&refusal](char direction, const std::string& text) {
        if (direction == '!')
            refusal = text;
    };
}

// The read-back as the library performs it: "?" then "+" until the "E" block.
inline std::vector<std::string> readBack(InProcessLine& line)
{
    std::vector<std::string> blocks{ask(line, "CCHTMD ?")};
    for (int i = 0; i < 100 && blocks.back().find("HTCCMD E") == std::string::npos; ++i)
        blocks.push_back(ask(line, "CCHTMD +"));
    return blocks;
}

// The commands of read-back blocks, without the empty ones and "NONE".
inline std::vector<std::string> commandsOf(const std::vector<std::string>& blocks)
{
    std::vector<std::string> commands;
    for (const auto& block : blocks) {
        const auto first = block.find('"');
        const auto last = block.rfind('"');
        for (const auto& c : split(block.substr(first + 1, last - first - 1), ';'))
            if (!c.empty() && c != "NONE")
                commands.push_back(c);
    }
    return commands;
}

// Sends the commands back as a download block, each line answered.
inline void download(InProcessLine& line, const std::vector<std::string>& commands)
{
    EXPECT_EQ(ask(line, "CCHTMD B;\"\""), "HTCCMD B;\"\"");
    std::string text = "CCHTMD C;\"";
    for (const auto& c : commands) {
        if (text.size() + c.size() > 400) {
            EXPECT_FALSE(ask(line, text + "\"").empty());
            text = "CCHTMD C;\"";
        }
        text += c + ";";
    }
    EXPECT_FALSE(ask(line, text + "\";").empty());
    EXPECT_EQ(ask(line, "CCHTMD E;\"NONE\""), "HTCCMD E;\"NONE\"");
}

}  // namespace gc6890::sim::simtest
