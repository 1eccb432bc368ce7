// Windows: creation through PreCreateWindow, the handle table, registered messages sent
// through chained maps (identifiers read when a message is dispatched), and windows that destroy or
// delete themselves inside a handler.
#include <gtest/gtest.h>

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

// Changes every setting in PreCreateWindow, as the library's hidden windows do.
class ReshapingWindow : public AskingWindow {
public:
    BOOL PreCreateWindow(CREATESTRUCT& cs) override
    {
        AfxRegisterWndClass(
            "TEST RESHAPED CLASS", CS_GLOBALCLASS | CS_CLASSDC | CS_HREDRAW | CS_VREDRAW, nullptr,
            static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH))), nullptr);
        cs.cx = 100;
        cs.cy = 30;
        cs.lpszName = "TEST RESHAPED CLASS";
        cs.lpszClass = "TEST RESHAPED CLASS";
        cs.style = static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        cs.dwExStyle = WS_EX_TOPMOST | WS_EX_ACCEPTFILES | WS_EX_TOOLWINDOW;
        return CFrameWnd::PreCreateWindow(cs);
    }
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

BEGIN_MESSAGE_MAP(ReshapingWindow, AskingWindow)
ON_REGISTERED_MESSAGE(g_answerMessage, OnAnswerHere)
ON_REGISTERED_MESSAGE(g_selfDestroyMessage, OnSelfDestroy)
END_MESSAGE_MAP()

class EmptyMapWindow : public ReshapingWindow {
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(EmptyMapWindow, ReshapingWindow)
END_MESSAGE_MAP()

bool create(CWnd& window, const char* className = "C", const char* title = "T",
            HWND parent = nullptr)
{
    return window.CreateEx(0, className, title, parent ? WS_CHILD : 0, 0, 0, 1, 1, parent, nullptr);
}

class RefusingWindow : public CWnd {
public:
    BOOL PreCreateWindow(CREATESTRUCT&) override { return FALSE; }
};

TEST(RegisteredNamesTest, SameMessageNameGivesSameIdentifierFromC000Up)
{
    const UINT first = RegisterWindowMessage("Test_NamesFirst");
    const UINT second = RegisterWindowMessage("Test_NamesSecond");
    EXPECT_GE(first, 0xC000u);
    EXPECT_NE(first, second);
    EXPECT_EQ(RegisterWindowMessage("Test_NamesFirst"), first);
    EXPECT_EQ(RegisterWindowMessage("test_namesfirst"), first);  // names ignore case
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
}

TEST(RegisteredNamesTest, WindowClassIsRegisteredOnceUnderItsName)
{
    const HBRUSH white = static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH)));
    LPCTSTR name = AfxRegisterWndClass("TEST ONCE CLASS", 0x4043, nullptr, white, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "TEST ONCE CLASS");
    EXPECT_EQ(AfxRegisterWndClass("TEST ONCE CLASS", 0x1, nullptr, nullptr, nullptr), name);
    const gc6890::WindowClass* known = gc6890::findWindowClass("TEST ONCE CLASS");
    ASSERT_NE(known, nullptr);
    EXPECT_EQ(known->style, 0x4043u);  // the first registration's settings stay
    EXPECT_EQ(known->background, white);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(WindowTest, PreCreateWindowDecidesTheSettingsKept)
{
    ReshapingWindow window;
    ASSERT_TRUE(window.CreateEx(0, "ignored", "ignored", 8, 100, 100, 100, 199, nullptr, nullptr));
    EXPECT_TRUE(IsWindow(window.GetSafeHwnd()));
    EXPECT_EQ(window.GetClassName(), "TEST RESHAPED CLASS");
    EXPECT_EQ(window.GetWindowTitle(), "TEST RESHAPED CLASS");
    EXPECT_EQ(window.GetStyle(), 0xCA0000u);
    EXPECT_EQ(window.GetExStyle(), 0x98u);
    EXPECT_EQ(window.GetInstance(), AfxGetInstanceHandle());
    EXPECT_FALSE(create(window, "again", "again"));
}

TEST(WindowTest, RefusedOrOrphanedCreationMakesNoWindow)
{
    RefusingWindow refused;
    EXPECT_FALSE(create(refused));
    EXPECT_EQ(refused.GetSafeHwnd(), nullptr);

    CWnd orphan;
    HWND deadParent = nullptr;
    {
        CWnd parent;
        ASSERT_TRUE(create(parent));
        deadParent = parent.GetSafeHwnd();
    }
    EXPECT_FALSE(create(orphan, "C", "T", deadParent));
}

TEST(WindowTest, SendMessageDispatchesThroughChainedMapsWithIdentifiersReadAtDispatch)
{
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

TEST(WindowTest, MessageToDestroyedWindowIsLost)
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
    ReshapingWindow kept;
    ASSERT_TRUE(create(kept));
    const HWND keptHandle = kept.GetSafeHwnd();
    EXPECT_EQ(SendMessage(keptHandle, g_selfDestroyMessage, 0, 0), 5);
    EXPECT_FALSE(IsWindow(keptHandle));

    auto* deleted = new ReshapingWindow;
    ASSERT_TRUE(create(*deleted));
    const HWND deletedHandle = deleted->GetSafeHwnd();
    EXPECT_EQ(SendMessage(deletedHandle, g_selfDestroyMessage, 1, 0), 5);
    EXPECT_FALSE(IsWindow(deletedHandle));
}

TEST(WindowTest, DestroyingParentDestroysChildrenAndDeletingDestroysWindow)
{
    CWnd parent;
    CWnd child;
    ASSERT_TRUE(create(parent, "C", "P"));
    ASSERT_TRUE(create(child, "C", "K", parent.GetSafeHwnd()));
    const HWND childHandle = child.GetSafeHwnd();
    parent.DestroyWindow();
    EXPECT_FALSE(IsWindow(childHandle));
    EXPECT_EQ(child.GetSafeHwnd(), nullptr);

    HWND handle = nullptr;
    {
        CWnd scoped;
        ASSERT_TRUE(create(scoped, "C", "S"));
        handle = scoped.GetSafeHwnd();
    }
    EXPECT_FALSE(IsWindow(handle));
}

TEST(DialogTest, CreatesInvisiblePopupFromItsTemplate)
{
    gc6890::addDialogTemplate(9134,
                              {WS_POPUP | DS_SETFONT | WS_VISIBLE, 186, 95, "MS Sans Serif", 8});
    CDialog dialog;
    ASSERT_TRUE(dialog.Create(9134));
    EXPECT_TRUE(IsWindow(dialog.GetSafeHwnd()));
    EXPECT_EQ(dialog.GetStyle(), WS_POPUP | DS_SETFONT);
    EXPECT_EQ(dialog.GetClassName(), gc6890::dialogClassName);
    EXPECT_EQ(dialog.GetTemplateId(), 9134u);
    EXPECT_FALSE(dialog.Create(9134));

    CDialog plain;
    ASSERT_TRUE(plain.Create(9999));
    EXPECT_EQ(plain.GetStyle(), WS_POPUP);
}

}  // namespace
