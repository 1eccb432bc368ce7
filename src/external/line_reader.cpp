#include "external/line_reader.h"

#include <chrono>

namespace gc6890 {

bool LineReader::takeLine(std::string& text)
{
    const std::size_t end = m_buffer.find(m_endOfData, m_searched);
    if (end == std::string::npos) {
        if (m_buffer.size() < kMaxLineLength) {
            m_searched = m_buffer.size();
            return false;
        }
        text = std::move(m_buffer);
        m_buffer.clear();
        m_searched = 0;
        return true;
    }
    text.assign(m_buffer, 0, end);
    m_buffer.erase(0, end + 1);
    m_searched = 0;
    return true;
}

LineReader::Status LineReader::readLine(SerialPortBackend& line, int timeoutMs, std::string& text)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    int remaining = timeoutMs;
    while (!takeLine(text)) {
        const auto got = line.read(chunk, sizeof chunk, remaining);
        if (got.status == SerialPortBackend::ReadStatus::Gone)
            return Status::Gone;
        // The backend waited the whole remaining time: the line's time is up. (Deciding it
        // here rather than from the clock lets a simulated line keep its own time.)
        if (got.status == SerialPortBackend::ReadStatus::TimedOut)
            return Status::TimedOut;
        m_buffer.append(chunk, got.count);
        if (takeLine(text))
            break;
        // Bytes that keep coming without an end-of-data character (a dribbling or
        // talkative line) must not hold the caller past the time-out either. The partial
        // line stays buffered for the next read.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Status::TimedOut;
        remaining = static_cast<int>(left.count());
    }
    return Status::Line;
}

}  // namespace gc6890
