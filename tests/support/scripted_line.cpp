#include "support/scripted_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace gc6890::test {

std::string escapeControl(const std::string& text)
{
    std::string out;
    for (unsigned char ch : text) {
        const char* named = ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : ch == '\t' ? "\\t" : nullptr;
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", ch);
        if (named)
            out += named;
        else if (ch < 0x20 || ch == 0x7f)
            out += hex;
        else
            out += static_cast<char>(ch);
    }
    return out;
}

ScriptedLine& ScriptedLine::expect(const std::string& line)
{
    m_steps.push_back({line, {}, false});
    return *this;
}

ScriptedLine& ScriptedLine::reply(const std::string& line)
{
    return replyBytes(line + "\n");
}

ScriptedLine& ScriptedLine::replyBytes(const std::string& bytes)
{
    if (m_steps.empty())
        m_input += bytes;
    else
        m_steps.back().replyBytes += bytes;
    return *this;
}

ScriptedLine& ScriptedLine::unsolicited(const std::string& line)
{
    m_input += line + "\n";
    return *this;
}

ScriptedLine& ScriptedLine::hangUpAfterLastExpect()
{
    if (m_steps.empty())
        m_hungUp = true;
    else
        m_steps.back().hangUp = true;
    return *this;
}

ScriptedLine& ScriptedLine::reconnect()
{
    m_hungUp = false;
    return *this;
}

ScriptedLine& ScriptedLine::failOpen(const std::string& reason)
{
    m_openFailure = reason;
    return *this;
}

bool ScriptedLine::open(std::string& error)
{
    if (!m_openFailure.empty()) {
        error = m_openFailure;
        return false;
    }
    if (!m_open)
        ++m_openCount;
    m_open = true;
    return true;
}

bool ScriptedLine::write(std::string_view bytes, int)
{
    if (!m_open || m_hungUp)
        return false;
    m_partial.append(bytes);
    for (std::size_t end; (end = m_partial.find('\n')) != std::string::npos;) {
        std::string line = m_partial.substr(0, end);
        m_partial.erase(0, end + 1);
        if (m_steps.empty()) {
            ADD_FAILURE() << "unexpected line written: \"" << escapeControl(line) << "\"";
            continue;
        }
        Step step = m_steps.front();
        m_steps.pop_front();
        EXPECT_EQ(escapeControl(line), escapeControl(step.expected))
            << "line written out of script";
        m_input += step.replyBytes;
        m_hungUp = m_hungUp || step.hangUp;
    }
    return true;
}

SerialPortBackend::ReadResult ScriptedLine::read(char* buffer, std::size_t size, int)
{
    if (auto interruption = std::exchange(duringNextRead, nullptr))
        interruption();
    if (silentReads > 0) {
        --silentReads;
        return {ReadStatus::TimedOut, 0};
    }
    if (!m_open)
        return {ReadStatus::Gone, 0};
    if (m_input.empty())
        return {m_hungUp ? ReadStatus::Gone : ReadStatus::TimedOut, 0};
    const std::size_t count = std::min(size, m_input.size());
    std::memcpy(buffer, m_input.data(), count);
    m_input.erase(0, count);
    return {ReadStatus::Data, count};
}

std::vector<std::string> ScriptedLine::unmet() const
{
    std::vector<std::string> lines;
    for (const Step& step : m_steps)
        lines.push_back(step.expected);
    return lines;
}

}  // namespace gc6890::test
