// CFile on drive-mapped paths: create, append, rename, and the exceptions it throws.
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

TEST_F(FileTest, CreatesThenAppendsWithoutTruncating)
{
    const char* name = "c:\\dravik\\hp6890.err";
    CFile file;
    EXPECT_FALSE(file.Open(name, CFile::modeWrite | CFile::modeNoTruncate));  // not there yet
    ASSERT_TRUE(file.Open(name, CFile::modeCreate | CFile::modeWrite));
    EXPECT_TRUE(std::filesystem::exists(m_home.path() + "/c/dravik/hp6890.err"));
    file.Write("first\n", 6);
    file.Close();

    ASSERT_TRUE(file.Open(name, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite |
                                    CFile::shareDenyWrite));
    EXPECT_EQ(file.GetLength(), 6u);
    EXPECT_EQ(file.SeekToEnd(), 6u);
    file.Write("second\n", 7);
    file.Close();
    EXPECT_EQ(m_home.read("c/dravik/hp6890.err"), "first\nsecond\n");

    ASSERT_TRUE(file.Open(name, CFile::modeCreate | CFile::modeWrite));  // create empties it
    EXPECT_EQ(file.GetLength(), 0u);
}

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
