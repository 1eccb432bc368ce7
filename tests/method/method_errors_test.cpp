#include <gtest/gtest.h>

#include <set>
#include <string>

#include "method/method_errors.h"

namespace {

TEST(MethodErrorTextTest, EveryCodeButThirtyFourHasItsOwnText)
{
    std::set<std::string> texts;
    for (int code = 1; code <= 59; ++code) {
        const CString text = GetMethodErrorText(code);
        if (code == 34)
            EXPECT_TRUE(text.IsEmpty());
        else
            EXPECT_TRUE(texts.insert(text.str()).second) << "code " << code << ": " << text.c_str();
    }
    EXPECT_EQ(texts.size(), 58u);
    EXPECT_FALSE(texts.count(""));
}

TEST(MethodErrorTextTest, TextsAreWordForWord)
{
    EXPECT_EQ(GetMethodErrorText(1), "Parameter too large");
    EXPECT_EQ(GetMethodErrorText(26), "One or more parameters have been altered");
    EXPECT_EQ(GetMethodErrorText(27), "Command cannot be excecuted while GC is running");
    EXPECT_EQ(GetMethodErrorText(51), "Attempted to use a pass-through command to a port which "
                                      "was not setup or already in use by another resource");
    EXPECT_EQ(GetMethodErrorText(57),
              "Another small zone or the oven is configured with a diffrent cryo type");
    EXPECT_EQ(GetMethodErrorText(59), "Another zone is using the cryo valve drive");
    for (int code : {0, -1, 60})
        EXPECT_TRUE(GetMethodErrorText(code).IsEmpty()) << code;
}

TEST(MethodErrorTextTest, ResultCodeIsReadFromTheEighthAndNinthCharacters)
{
    EXPECT_EQ(MethodResultCode("HTCCMC 0"), 0);
    EXPECT_EQ(MethodResultCode("HTCCMC 26"), 26);
    EXPECT_EQ(MethodResultCode("HTCCMC 7,1"), 7);
    EXPECT_EQ(MethodResultCode("HTCCMC  5"), 5);
    EXPECT_EQ(MethodResultCode("HTCCMC 123"), 12);
    EXPECT_EQ(MethodResultCode("HTCCMC"), 0);
}

TEST(MethodErrorBoxTest, ShowsTheTextUnderItsCaption)
{
    struct Box {
        HWND owner;
        std::string text, caption;
        UINT flags;
    };
    std::vector<Box> shown;
    auto previous = SetMessageBoxHandler([&](HWND owner, const char* text, const char* caption,
                                             UINT flags) {
        shown.push_back({owner, text, caption, flags});
        return IDOK;
    });
    ShowMethodErrorBox("Failed method check\n" + GetMethodErrorText(26));
    SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].text, "Failed method check\nOne or more parameters have been altered");
    EXPECT_EQ(shown[0].caption, "6890 Method Error");
    EXPECT_EQ(shown[0].flags, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

}  // namespace
