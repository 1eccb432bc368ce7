#include <filesystem>
#include <gtest/gtest.h>

#include "sequence/results_writer.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

TEST(ResultsWriter, SampleNamesAreMadeSafe)
{
    const struct {
        std::string name;
        std::string safe;
    } cases[] = {
        {.name = "standard 1", .safe = "standard_1"},
        {.name = "../../etc/passwd", .safe = "_.._.._etc_passwd"},
        {.name = ".hidden", .safe = "_.hidden"},
        {.name = "", .safe = "_"},
        {.name = "na\xc3\xafve  (2)", .safe = "na_ve_2_"},
        {.name = std::string(100, 'x'), .safe = std::string(64, 'x')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(safeFileName(c.name), c.safe) << c.name;
    EXPECT_EQ(resultLeafName(7, 2, "std/1"), "007-2-std_1");
}

TEST(ResultsWriter, WritesWholeFoldersAndNeverOverwritesOne)
{
    test::TempHome home;
    const std::string root = home.path() + "/results";
    RunResult result{.sequence = "over night",
                     .runId = "20261206T031500Z-01",
                     .row = 3,
                     .injection = 1,
                     .vial = 7,
                     .sample = "std 1",
                     .method = "split_front",
                     .methodSha256 = "3f2c9a",
                     .volume = 0.5f,
                     .startMs = 1796527800250,
                     .endMs = 1796528900000,
                     .record = "first record\n"};
    result.history = {{"time_ms", {1796527800250, 1796527801250}},
                      {"oven_temperature", {50.0, 50.5}},
                      {"run_state", {"pre-run", "run"}}};
    std::string first, second, error;
    ASSERT_TRUE(writeRunResult(root, result, first, error)) << error;
    result.record = "second record\n";
    ASSERT_TRUE(writeRunResult(root, result, second, error)) << error;

    const std::string parent = root + "/over_night-20261206T031500Z-01";
    EXPECT_EQ(first, parent + "/003-1-std_1");
    EXPECT_EQ(second, first + "-2");
    const std::string leaf = "results/over_night-20261206T031500Z-01/003-1-std_1";
    EXPECT_EQ(home.read(leaf + "/record.txt"), "first record\n");
    const std::string text = home.read(leaf + "/run.txt");
    EXPECT_NE(text.find("vial       7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("started    2026-12-06T03:30:00.250Z\n"), std::string::npos) << text;
    EXPECT_NE(text.find("time\toven_temperature\trun_state\n"
                        "2026-12-06T03:30:00.250Z\t50.0\tpre-run\n"),
              std::string::npos)
        << text;
    const nlohmann::json json = nlohmann::json::parse(home.read(leaf + "-2/run.json"));
    EXPECT_EQ(json["record"], "second record\n");
    EXPECT_EQ(json["history"], result.history);
    EXPECT_EQ(json["end"], "2026-12-06T03:48:20.000Z");
    EXPECT_EQ(json["method_sha256"], "3f2c9a");
    // Nothing half-made is left beside the results.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(parent))
        entries += entry.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace gc6890
