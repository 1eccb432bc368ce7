#include "station/line_capture.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/platform.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace {

// The line's bytes as JSON string content: a byte outside printable ASCII becomes the code
// point of the same number, which reads back to that byte (readCapture), so that garbled
// and 8-bit answers replay exactly.
std::string jsonQuoted(std::string_view bytes)
{
    std::string out = "\"";
    for (const unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7e) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

// The bytes back from the code points below 256 that jsonQuoted() wrote; false for another.
bool bytesOf(const std::string& utf8, std::string& bytes)
{
    bytes.clear();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && c <= 0xC3 && i + 1 < utf8.size()) {
            bytes += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
        } else
            return false;
    }
    return true;
}

}  // namespace

std::string captureRecord(const CapturedLine& line)
{
    return "{\"ms\":" + std::to_string(line.ms) + ",\"side\":\"" +
           (line.sampler ? "sampler" : "gc") + "\",\"dir\":\"" + (line.sent ? "sent" : "received") +
           "\",\"line\":" + jsonQuoted(line.line) + "}";
}

bool readCapture(const std::string& path, std::vector<CapturedLine>& lines, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (text.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
        CapturedLine line;
        const std::optional<std::int64_t> ms = wholeField(record, "ms");
        const bool read = ms && record.value("line", nlohmann::json()).is_string() &&
                          bytesOf(record["line"].get<std::string>(), line.line);
        const std::string dir = read ? record.value("dir", "") : "";
        if (!read || (dir != "sent" && dir != "received")) {
            error = path + ":" + std::to_string(number) +
                    ": not a capture record ({\"ms\":N,\"side\":...,\"dir\":\"sent\"|\"received\","
                    "\"line\":TEXT})";
            return false;
        }
        line.ms = *ms;
        line.sampler = record.value("side", "gc") == "sampler";
        line.sent = dir == "sent";
        lines.push_back(std::move(line));
    }
    return true;
}

LineCapture::LineCapture(std::string path, bool append) : path_(std::move(path))
{
    if (!path_.empty())
        file_ = std::fopen(path_.c_str(), append ? "ae" : "we");
    previous_ = SetLineObserver(
        [this](int side, bool sent, std::string_view line) { note(side, sent, line); });
}

LineCapture::~LineCapture()
{
    SetLineObserver(std::move(previous_));
    if (file_)
        std::fclose(file_);
}

void LineCapture::note(int side, bool sent, std::string_view line)
{
    const std::uint64_t now = nowMilliseconds();
    if (!std::exchange(started_, true))
        startMs_ = now;
    CapturedLine captured{static_cast<std::int64_t>(now - startMs_), side == ALS, sent,
                          std::string(line)};
    if (file_) {
        // One record per write and flushed at once: a session killed midway keeps its lines.
        const std::string record = captureRecord(captured) + "\n";
        std::fwrite(record.data(), 1, record.size(), file_);
        std::fflush(file_);
    }
    lines_.push_back(std::move(captured));
    if (previous_)
        previous_(side, sent, line);
}

}  // namespace gc6890
