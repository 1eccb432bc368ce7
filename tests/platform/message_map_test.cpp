// Message maps: per-class tables chained to the base class's, registered identifiers
// resolved at dispatch time.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

UINT g_pingMessage = 0;  // "registered" later than the tables are built
UINT g_pongMessage = 0;

class BaseWindow : public CWnd {
public:
    LRESULT OnPing(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) + 1; }
    LRESULT OnPong(WPARAM, LPARAM) { return 100; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
    ON_REGISTERED_MESSAGE(g_pingMessage, OnPing)
    ON_REGISTERED_MESSAGE(g_pongMessage, OnPong)
END_MESSAGE_MAP()

class DerivedWindow : public BaseWindow {
public:
    LRESULT OnPongHere(WPARAM, LPARAM lParam) { return lParam * 2; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
    ON_REGISTERED_MESSAGE(g_pongMessage, OnPongHere)
END_MESSAGE_MAP()

class EmptyMapWindow : public DerivedWindow {
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(EmptyMapWindow, DerivedWindow)
END_MESSAGE_MAP()

TEST(MessageMapTest, DerivedEntriesComeFirstAndTheBaseAnswersTheRest)
{
    g_pingMessage = 0xC101;
    g_pongMessage = 0xC102;
    DerivedWindow window;
    EXPECT_EQ(window.WindowProc(0xC101, 41, 0), 42);   // from the base's table
    EXPECT_EQ(window.WindowProc(0xC102, 0, 21), 42);   // the derived table wins
    EXPECT_EQ(window.WindowProc(0xC103, 0, 0), 0);     // nobody handles it
}

TEST(MessageMapTest, AnEmptyMapStillChainsToItsBase)
{
    g_pingMessage = 0xC201;
    g_pongMessage = 0xC202;
    EmptyMapWindow window;
    EXPECT_EQ(window.WindowProc(0xC201, 1, 0), 2);
    EXPECT_EQ(window.WindowProc(0xC202, 0, 5), 10);
}

TEST(MessageMapTest, AnUnregisteredIdentifierMatchesNothing)
{
    g_pingMessage = 0;
    BaseWindow window;
    EXPECT_EQ(window.WindowProc(0, 1, 0), 0);
}

}  // namespace
