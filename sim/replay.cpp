#include "sim/replay.h"

#include <algorithm>
#include <numeric>

namespace gc6890::sim {

namespace {

// Levenshtein distance, in two rows.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[b.size()];
}

}  // namespace

Replay::Replay(const std::vector<CapturedLine>& capture)
{
    Answer* open = nullptr;
    std::int64_t sentMs = 0;
    for (const CapturedLine& line : capture) {
        if (line.sent) {
            Answers& answers = answers_[line.line];
            answers.inOrder.emplace_back();
            open = &answers.inOrder.back();
            sentMs = line.ms;
        } else if (open) {
            open->push_back({std::max<std::int64_t>(0, line.ms - sentMs), line.line});
        }
    }
}

const Replay::Answer* Replay::next(const std::string& line)
{
    const auto found = answers_.find(line);
    if (found == answers_.end())
        return nullptr;
    Answers& answers = found->second;
    const std::size_t at = std::min(answers.given, answers.inOrder.size() - 1);
    ++answers.given;
    return &answers.inOrder[at];
}

std::vector<std::string> Replay::closest(const std::string& line, std::size_t count) const
{
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const auto& [captured, answers] : answers_)
        ranked.emplace_back(editDistance(line, captured), captured);
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < ranked.size() && i < count; ++i)
        names.push_back(ranked[i].second);
    return names;
}

}  // namespace gc6890::sim
