// The simulator answering from a capture (gc6890-sim --replay): each line the host sends
// gets the answer the instrument gave to that line in the capture. A line answered
// differently over time gets its answers in order, and the last one once they run out;
// a line the capture never saw is answered as the simulator would (and reported, with the
// captured lines closest to it).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "station/line_capture.h"

namespace gc6890::sim {

class Replay {
public:
    struct AnswerLine {
        std::int64_t afterMs = 0;  // from the host's line to this one, as captured
        std::string text;
    };
    using Answer = std::vector<AnswerLine>;  // empty: the line went unanswered

    // The lines received after each line sent, up to the next line sent, are its answer;
    // lines received before the first line sent are dropped.
    explicit Replay(const std::vector<CapturedLine>& capture);

    // The next answer to `line`, or nullptr when the capture never saw it.
    const Answer* next(const std::string& line);

    // The captured host lines closest to `line` (fewest edits first), at most `count`.
    std::vector<std::string> closest(const std::string& line, std::size_t count = 3) const;

private:
    struct Answers {
        std::vector<Answer> inOrder;
        std::size_t given = 0;
    };
    std::map<std::string, Answers> answers_;
};

}  // namespace gc6890::sim
