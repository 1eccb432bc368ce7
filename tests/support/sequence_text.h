// A sequence file's text for tests: a tray named "tray" with the error rule and rows given,
// each row's sample "s<vial>/x"; and the row states a sequence's JSON gives.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace gc6890::test {

struct SequenceRowText {
    int vial;
    const char* method;
    int injections = 1;
};

inline std::string sequenceText(const std::string& rule, const std::vector<SequenceRowText>& rows)
{
    std::string text = "name = \"tray\"\non_error = \"" + rule + "\"\n";
    for (const SequenceRowText& row : rows)
        text += "[[row]]\nvial = " + std::to_string(row.vial) + "\nmethod = \"" + row.method +
                "\"\ninjections = " + std::to_string(row.injections) + "\nsample = \"s" +
                std::to_string(row.vial) + "/x\"\n";
    return text;
}

// The states of a sequence's rows as its JSON gives them: "done, refused, pending".
inline std::string rowStates(const nlohmann::json& sequence)
{
    std::string states;
    for (const nlohmann::json& row : sequence["rows"])
        states += (states.empty() ? "" : ", ") + row.value("state", "");
    return states;
}

}  // namespace gc6890::test
