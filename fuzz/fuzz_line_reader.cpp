// The line reader with the byte stream cut at arbitrary points: whatever the cuts, the
// same lines come out, in order, as when the stream is split at its line feeds, and the
// bytes after the last line feed stay buffered. The first byte seeds the cut lengths.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "external/line_reader.h"

namespace {

// Hands out the stream in pieces of the chosen lengths, then times out.
class ChoppedLine : public gc6890::SerialPortBackend {
public:
    ChoppedLine(std::string bytes, std::uint8_t seed) : m_bytes(std::move(bytes)), m_seed(seed | 1u)
    {}
    bool open(std::string&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool write(std::string_view, int) override { return true; }
    ReadResult read(char* buffer, std::size_t size, int) override
    {
        if (m_at >= m_bytes.size())
            return {ReadStatus::TimedOut, 0};
        m_seed = static_cast<std::uint8_t>(m_seed * 37u + 11u);
        const std::size_t piece =
            std::min({static_cast<std::size_t>(1 + m_seed % 17), size, m_bytes.size() - m_at});
        std::memcpy(buffer, m_bytes.data() + m_at, piece);
        m_at += piece;
        return {ReadStatus::Data, piece};
    }
    std::string describe() const override { return "chopped"; }

private:
    std::string m_bytes;
    std::size_t m_at = 0;
    std::uint8_t m_seed;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> expected;
    std::size_t start = 0;
    for (std::size_t end; (end = stream.find('\n', start)) != std::string::npos; start = end + 1)
        expected.push_back(stream.substr(start, end - start));
    const std::size_t trailing = stream.size() - start;

    ChoppedLine line(stream, data[0]);
    gc6890::LineReader reader('\n');
    std::vector<std::string> got;
    std::string text;
    while (reader.readLine(line, 1000, text) == gc6890::LineReader::Status::Line)
        got.push_back(text);
    if (got != expected || reader.buffered() != trailing)
        std::abort();
    return 0;
}
