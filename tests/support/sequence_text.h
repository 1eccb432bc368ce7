// A sequence file's text for tests: a tray named "tray" with the error rule and rows given,
// each row's sample "s<vial>/x".
#pragma once

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

}  // namespace gc6890::test
