// LoadMethod of the GC object itself, on gc6890-sim: the object's display, contact closure
// and progress observer take part, and the lock-out is free afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "comms/comms_registry.h"
#include "external/inlet_utils.h"
#include "gc/varnock_gc_system.h"
#include "support/temp_home.h"

namespace gc6890::test {
namespace {

std::string exampleMethod(const char* name)
{
    namespace fs = std::filesystem;
    return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "methods" / name).string();
}

class GCLoadMethodTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousBox = SetMessageBoxHandler([this](HWND, const char* text, const char*, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
        m_previousStatus = SetStatusTextHandler([this](const char* text, const char*) { status = text; });
        gc = std::make_unique<CVarnockGCSystem>();
    }
    void TearDown() override
    {
        gc.reset();
        SetMessageBoxHandler(m_previousBox);
        SetStatusTextHandler(m_previousStatus);
    }

    TempHome home;
    std::unique_ptr<CVarnockGCSystem> gc;
    std::vector<std::string> boxes;
    std::string status;

private:
    MessageBoxHandler m_previousBox;
    StatusTextHandler m_previousStatus;
};

TEST_F(GCLoadMethodTest, DownloadsThroughTheObjectAndReportsProgress)
{
    ASSERT_EQ(gc->InitialiseComms(), 1) << "gc6890-sim did not start";
    std::vector<std::pair<int, int>> progress;
    gc->SetDownloadProgressObserver([&](int sent, int total) { progress.emplace_back(sent, total); });
    EXPECT_EQ(gc->LoadMethod(exampleMethod("two_columns.toml").c_str()), 1)
        << (boxes.empty() ? "" : boxes.back());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().first, 1);
    EXPECT_EQ(progress.back().first, progress.back().second);
    EXPECT_EQ(status, "For Help, press F1");
    EXPECT_EQ(LockedOut(), 0);
}

}  // namespace
}  // namespace gc6890::test
