// Splits the byte stream of a serial line into lines at the end-of-data character.
// Reads are buffered: one system call may bring several lines, and the bytes after a line
// stay for the next call, so nothing the instrument sent is lost.
#pragma once

#include <string>

#include "external/serial_port_backend.h"

namespace gc6890 {

class LineReader {
public:
    enum class Status { Line, TimedOut, Gone };

    // A line longer than this is handed over as it stands, so that an instrument that
    // never sends the end-of-data character cannot make the buffer grow without end.
    static constexpr std::size_t kMaxLineLength = 1 << 20;

    explicit LineReader(char endOfData = '\n') : m_endOfData(endOfData) {}

    void setEndOfData(char endOfData)
    {
        m_endOfData = endOfData;
        m_searched = 0;
    }

    // Reads one line, without its end-of-data character, waiting at most timeoutMs in all.
    Status readLine(SerialPortBackend& line, int timeoutMs, std::string& text);

    // Forgets buffered bytes (after the port was closed).
    void clear()
    {
        m_buffer.clear();
        m_searched = 0;
    }
    std::size_t buffered() const { return m_buffer.size(); }

private:
    bool takeLine(std::string& text);

    char m_endOfData;
    std::string m_buffer;
    // Bytes at the front of m_buffer already known to hold no end-of-data character, so a
    // long line arriving in many reads is scanned once, not once per read.
    std::size_t m_searched = 0;
};

}  // namespace gc6890
