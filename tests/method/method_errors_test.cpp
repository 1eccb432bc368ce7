#include <gtest/gtest.h>

#include <set>
#include <string>

#include "method/method_errors.h"

namespace {

TEST(MethodErrorTextTest, EveryCodeButThirtyFourHasItsOwnText)
{
    std::set<std::string> texts;
    for (int code = 1; code <= 59; ++code)
        texts.insert(GetMethodErrorText(code).str());
    EXPECT_EQ(texts.size(), 59u);  // 58 distinct texts and the empty one of code 34
    EXPECT_TRUE(GetMethodErrorText(34).IsEmpty());
    for (int code : {0, -1, 60})
        EXPECT_TRUE(GetMethodErrorText(code).IsEmpty()) << code;
    EXPECT_EQ(GetMethodErrorText(27), "Command cannot be excecuted while GC is running");
    EXPECT_EQ(GetMethodErrorText(57),
              "Another small zone or the oven is configured with a diffrent cryo type");
    EXPECT_EQ(GetMethodErrorText(59), "Another zone is using the cryo valve drive");
}

TEST(MethodErrorTextTest, ResultCodeIsReadFromTheEighthAndNinthCharacters)
{
    EXPECT_EQ(MethodResultCode("HTCCMC 7,1"), 7);
    EXPECT_EQ(MethodResultCode("HTCCMC  5"), 5);
    EXPECT_EQ(MethodResultCode("HTCCMC 123"), 12);
    EXPECT_EQ(MethodResultCode("HTCCMC"), 0);
}

TEST(MethodErrorBoxTest, ShowsTheTextUnderItsCaptionWithoutOwner)
{
    std::string shown;
    auto previous =
        SetMessageBoxHandler([&](HWND owner, const char* text, const char* caption, UINT flags) {
            EXPECT_EQ(owner, nullptr);
            EXPECT_EQ(flags, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
            shown += std::string(caption) + "|" + text;
            return IDOK;
        });
    ShowMethodErrorBox("Failed method check\n" + GetMethodErrorText(26));
    SetMessageBoxHandler(previous);
    EXPECT_EQ(shown,
              "6890 Method Error|Failed method check\nOne or more parameters have been altered");
}

}  // namespace
