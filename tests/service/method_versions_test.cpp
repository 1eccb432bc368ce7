// The versions of stored methods: kept before an upload or a deletion replaces them, one per
// content, each naming who uploaded it; the history folder is never a method.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audit/sha256.h"
#include "service/method_store.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

TEST(MethodVersions, AreKeptOncePerContentWithTheirUploaderAndTheCurrentLast)
{
    const test::TempHome home;
    const MethodStore store(home.path() + "/methods");
    std::string error;
    ASSERT_TRUE(store.store("a", "first\n", "kim", error)) << error;
    ASSERT_TRUE(store.store("a", "first\n", "lee", error)) << error;  // the same again
    ASSERT_TRUE(store.store("a", "second\n", "lee", error)) << error;
    ASSERT_TRUE(store.store("b", "other\n", "kim", error)) << error;

    std::vector<MethodVersion> versions = store.versions("a");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].sha256, sha256Hex("first\n"));
    EXPECT_EQ(versions[0].user, "kim");  // the first upload of that content, not the repeat
    EXPECT_FALSE(versions[0].current);
    EXPECT_EQ(versions[1].sha256, sha256Hex("second\n"));
    EXPECT_EQ(versions[1].user, "lee");
    EXPECT_TRUE(versions[1].current);
    EXPECT_LE(versions[0].time, versions[1].time);
    // The earlier version's file is named by its upload time and hash and holds its bytes.
    std::string file = versions[0].time;
    std::erase_if(file, [](char c) { return c == '-' || c == ':'; });
    file += "-" + versions[0].sha256.substr(0, 12) + ".toml";
    EXPECT_EQ(home.read("methods/.history/a/" + file), "first\n") << file;

    // The history folder is no method; the method list shows the two stored ones.
    const std::vector<MethodEntry> listed = store.list();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "a");
    EXPECT_EQ(listed[1].name, "b");

    // A deletion keeps what was current: both versions stay, none current.
    ASSERT_TRUE(store.remove("a", error)) << error;
    versions = store.versions("a");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_FALSE(versions[1].current);
    EXPECT_EQ(versions[1].user, "lee");
    EXPECT_TRUE(store.versions("absent").empty());

    // The uploads' list with a line torn by a kill and one changed by hand reads as before.
    std::ofstream(home.path() + "/methods/.history/a/uploads.jsonl", std::ios::app)
        << "{\"time\":5,\"sha256\":[],\"user\":{}}\n{\"time\":\"2026-";
    versions = store.versions("a");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].user, "kim");
    EXPECT_TRUE(store.store("a", "third\n", "lee", error)) << error;
}

}  // namespace
}  // namespace gc6890
