#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(MessageBoxTest, DefaultButtonAnswersUnlessAHandlerRecordsTheBox)
{
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND), IDOK);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_RETRYCANCEL), IDRETRY);

    // A handler answers instead, and records every box; the old one comes back.
    std::vector<std::string> seen;
    auto previous = SetMessageBoxHandler([&](HWND, const char* text, const char* caption, UINT) {
        seen.push_back(std::string(caption) + "|" + text);
        return IDNO;
    });
    EXPECT_EQ(MessageBox(nullptr, "Log file full.", "Backup Log?", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(nullptr, "x", "File Error", MB_OK), IDNO);
    SetMessageBoxHandler(previous);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Backup Log?|Log file full.");

    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, "text", "Caption", MB_YESNO), IDYES);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: text\n");
}

}  // namespace
