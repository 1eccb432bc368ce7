// CFile on drive-mapped paths: rename, and the exceptions it throws. (Creating, appending
// and emptying are the comms log's: diagnostics/error_log_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/platform.h"
#include "support/temp_home.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    gc6890::test::TempHome m_home;  // with its c:\dravik folder
};

TEST_F(FileTest, MissingFileThrowsFileExceptionNamingIt)
{
    CFileException* caught = nullptr;
    try {
        CFile file("c:\\dravik\\absent.txt", CFile::modeRead);
    } catch (CFileException* e) {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    std::unique_ptr<CFileException, void (*)(CFileException*)> owned(
        caught, [](CFileException* e) { e->Delete(); });
    EXPECT_EQ(caught->m_cause, CFileException::fileNotFound);
    EXPECT_EQ(caught->m_strFileName, "c:\\dravik\\absent.txt");
    char text[200];
    ASSERT_TRUE(caught->GetErrorMessage(text, sizeof text));
    EXPECT_NE(std::string(text).find("absent.txt: file not found"), std::string::npos) << text;

    CFileException reported;
    CFile file;
    EXPECT_FALSE(file.Open("c:\\nowhere\\x.txt", CFile::modeWrite, &reported));
    EXPECT_EQ(reported.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(reported.m_strFileName, "c:\\nowhere\\x.txt");
    // Creating a file makes its missing folders under the home: no installation step does.
    EXPECT_TRUE(file.Open("c:\\nowhere\\x.txt", CFile::modeCreate | CFile::modeWrite));
}

TEST_F(FileTest, RenameMovesButNeverReplaces)
{
    {
        CFile log("c:\\dravik\\hp6890.err", CFile::modeCreate | CFile::modeWrite);
        log.Write("old", 3);
    }
    std::ofstream(m_home.path() + "/c/dravik/hp6890.001") << "kept";

    int cause = -1;
    try {
        CFile::Rename("c:\\dravik\\hp6890.err", "c:\\dravik\\hp6890.001");
    } catch (CFileException* e) {
        cause = e->m_cause;
        e->Delete();
    }
    EXPECT_EQ(cause, CFileException::accessDenied);
    EXPECT_EQ(m_home.read("c/dravik/hp6890.001"), "kept");

    CFile::Rename("c:\\dravik\\hp6890.err", "c:\\dravik\\hp6890.002");
    EXPECT_EQ(m_home.read("c/dravik/hp6890.002"), "old");
    EXPECT_FALSE(std::filesystem::exists(gc6890::mapDrivePath("c:\\dravik\\hp6890.err")));
}

}  // namespace
