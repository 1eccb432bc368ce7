// The capture of a session: every line the channel sends and receives, on either side, with
// its time in milliseconds, one JSON object per line (capture.jsonl). The comms log cannot
// serve for this: it keeps the GC's side only, to the second. gc6890-sim --replay answers
// from a capture (docs/simulator.md).
//
//   {"ms":1204,"side":"gc","dir":"sent","line":"GCHTRI"}
//
// "ms" counts from the first line captured; "side" is "gc" or "sampler" (the channel's side
// that moved the line); "dir" is "sent" (host to instrument) or "received". The line's bytes
// are kept exactly: each byte below 32 or above 126 is written as \u00XX.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "comms/hp6890_serial_comms.h"

namespace gc6890 {

struct CapturedLine {
    std::int64_t ms = 0;
    bool sampler = false;  // the sampler's side of the channel, else the GC's
    bool sent = false;     // host to instrument, else instrument to host
    std::string line;      // without its line feed
};

// One record as a line of capture.jsonl (without the line feed).
std::string captureRecord(const CapturedLine& line);
// Reads capture.jsonl. False with `error` naming the file and line when a record does not
// read; `lines` then holds the records before it.
bool readCapture(const std::string& path, std::vector<CapturedLine>& lines, std::string& error);

// Observes the channel while it lives (the observer it replaced is put back after), keeps
// every line in memory and, given a path, writes each to that file as it goes, so that a
// session that ends badly still leaves its capture. `append` adds to a file that exists
// (several commands, one session), else the file starts empty.
class LineCapture {
public:
    explicit LineCapture(std::string path = {}, bool append = false);
    ~LineCapture();
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    // False when the file could not be opened (the capture is then kept in memory only).
    bool writing() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    const std::vector<CapturedLine>& lines() const { return lines_; }

private:
    void note(int side, bool sent, std::string_view line);

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<CapturedLine> lines_;
    std::uint64_t startMs_ = 0;
    bool started_ = false;
    LineObserver previous_;
};

}  // namespace gc6890
