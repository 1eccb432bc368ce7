// Windows: creation, the handle table, registered messages sent through chained maps
// (identifiers read when a message is dispatched), windows that destroy or delete themselves
// inside a handler; and message boxes with their answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const UINT g_askMessage = RegisterWindowMessage("Test_WindowAsk");
const UINT g_answerMessage = RegisterWindowMessage("Test_WindowAnswer");
const UINT g_selfDestroyMessage = RegisterWindowMessage("Test_WindowSelfDestroy");
UINT g_lateMessage = 0;  // registered only after the tables are built

class AskingWindow : public CFrameWnd {
public:
    LRESULT OnAsk(WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam) + lParam; }
    LRESULT OnAnswer(WPARAM, LPARAM) { return 7; }
    LRESULT OnLate(WPARAM, LPARAM) { return 9; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(AskingWindow, CFrameWnd)
ON_REGISTERED_MESSAGE(g_askMessage, OnAsk)
ON_REGISTERED_MESSAGE(g_answerMessage, OnAnswer)
ON_REGISTERED_MESSAGE(g_lateMessage, OnLate)
END_MESSAGE_MAP()

// Overrides one entry of its base's map and adds its own.
class OverridingWindow : public AskingWindow {
public:
    LRESULT OnAnswerHere(WPARAM, LPARAM) { return 70; }
    LRESULT OnSelfDestroy(WPARAM wParam, LPARAM)
    {
        if (wParam)
            delete this;
        else
            DestroyWindow();
        return 5;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OverridingWindow, AskingWindow)
ON_REGISTERED_MESSAGE(g_answerMessage, OnAnswerHere)
ON_REGISTERED_MESSAGE(g_selfDestroyMessage, OnSelfDestroy)
END_MESSAGE_MAP()

class EmptyMapWindow : public OverridingWindow {
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(EmptyMapWindow, OverridingWindow)
END_MESSAGE_MAP()

bool create(CWnd& window)
{
    return window.CreateEx(0, "C", "T", 0, 0, 0, 1, 1, nullptr, nullptr);
}

class RefusingWindow : public CWnd {
public:
    BOOL PreCreateWindow(CREATESTRUCT&) override { return FALSE; }
};

TEST(WindowTest, RefusedCreationMakesNoWindow)
{
    RefusingWindow refused;
    EXPECT_FALSE(create(refused));
    EXPECT_EQ(refused.GetSafeHwnd(), nullptr);
}

TEST(WindowTest, RegisteredMessagesDispatchThroughChainedMapsWithIdentifiersReadAtDispatch)
{
    // One name, one identifier, from 0xC000 up.
    const UINT first = RegisterWindowMessage("Test_NamesFirst");
    const UINT second = RegisterWindowMessage("Test_NamesSecond");
    EXPECT_GE(first, 0xC000u);
    EXPECT_NE(first, second);
    EXPECT_EQ(RegisterWindowMessage("Test_NamesFirst"), first);
    EXPECT_EQ(RegisterWindowMessage("test_namesfirst"), first);  // names ignore case
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);

    // An empty map, over a map that overrides one entry of its base's.
    EmptyMapWindow window;
    ASSERT_TRUE(create(window));
    EXPECT_EQ(SendMessage(window.GetSafeHwnd(), g_askMessage, 40, 2), 42);  // from the base's map
    EXPECT_EQ(SendMessage(window.GetSafeHwnd(), g_answerMessage, 0, 0),
              70);  // the derived map wins
    EXPECT_EQ(window.SendMessage(RegisterWindowMessage("Test_WindowNobody")), 0);
    EXPECT_EQ(window.WindowProc(0, 0, 0), 0);  // an identifier not yet registered matches nothing
    g_lateMessage = RegisterWindowMessage("Test_WindowLate");
    EXPECT_EQ(SendMessage(window.GetSafeHwnd(), g_lateMessage, 0, 0), 9);
}

TEST(WindowTest, DestroyedWindowsLoseTheirMessages)
{
    auto window = std::make_unique<AskingWindow>();
    ASSERT_TRUE(create(*window));
    const HWND handle = window->GetSafeHwnd();
    EXPECT_TRUE(window->DestroyWindow());
    EXPECT_FALSE(window->DestroyWindow());
    EXPECT_EQ(window->GetSafeHwnd(), nullptr);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(SendMessage(handle, g_askMessage, 1, 1), 0);
    EXPECT_EQ(CWnd::FromHandle(handle), nullptr);

    // A new window never gets the old handle back.
    AskingWindow next;
    ASSERT_TRUE(create(next));
    EXPECT_NE(next.GetSafeHwnd(), handle);
    EXPECT_EQ(SendMessage(handle, g_askMessage, 1, 1), 0);
}

TEST(WindowTest, HandlerMayDestroyOrDeleteItsOwnWindow)
{
    OverridingWindow kept;
    ASSERT_TRUE(create(kept));
    const HWND keptHandle = kept.GetSafeHwnd();
    EXPECT_EQ(SendMessage(keptHandle, g_selfDestroyMessage, 0, 0), 5);
    EXPECT_FALSE(IsWindow(keptHandle));

    auto* deleted = new OverridingWindow;
    ASSERT_TRUE(create(*deleted));
    const HWND deletedHandle = deleted->GetSafeHwnd();
    EXPECT_EQ(SendMessage(deletedHandle, g_selfDestroyMessage, 1, 0), 5);
    EXPECT_FALSE(IsWindow(deletedHandle));
}

TEST(MessageBoxTest, DefaultButtonAnswersUnlessAHandlerRecordsTheBox)
{
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND), IDOK);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(gc6890::defaultMessageBoxAnswer(MB_YESNOCANCEL), IDYES);
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
