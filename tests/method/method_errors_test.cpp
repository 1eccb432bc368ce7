#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "method/method_errors.h"
#include "support/source_tree.h"

namespace {

// The whole table, word for word, against the texts typed in from the GC's list.
TEST(MethodErrorTextTest, EveryCodeHasTheGCsTextWordForWord)
{
    const std::filesystem::path file =
        gc6890::test::sourcePath("tests/data/method_error_texts.txt");
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    int expectedCode = 1;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const int code = std::stoi(line.substr(0, tab));
        EXPECT_EQ(code, expectedCode++) << "the file lists every code once, in order";
        EXPECT_EQ(GetMethodErrorText(code).str(), line.substr(tab + 1)) << "code " << code;
    }
    EXPECT_EQ(expectedCode, 60) << "codes 1 to 59";
    for (int code : {0, -1, 60})
        EXPECT_TRUE(GetMethodErrorText(code).IsEmpty()) << code;
}

TEST(MethodErrorTextTest, ResultCodeIsReadFromTheEighthAndNinthCharacters)
{
    EXPECT_EQ(MethodResultCode("HTCCMC 7,1"), 7);
    EXPECT_EQ(MethodResultCode("HTCCMC  5"), 5);
    EXPECT_EQ(MethodResultCode("HTCCMC 123"), 12);
    EXPECT_EQ(MethodResultCode("HTCCMC"), 0);
}

}  // namespace
