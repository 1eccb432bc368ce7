// The audit trail: its chain and anchor against every kind of tampering, its mending of
// what a kill leaves, rollover across files, two writers on one folder, and its reading.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "audit/audit_reader.h"
#include "audit/audit_trail.h"
#include "station/safe_text.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

using ::testing::HasSubstr;

class AuditTrailTest : public ::testing::Test {
protected:
    std::string folder() const { return home.path() + "/audit"; }
    std::unique_ptr<AuditTrail> open(std::uint64_t rollBytes = kAuditRollBytes)
    {
        std::string error;
        auto trail = AuditTrail::open(folder(), error, rollBytes);
        EXPECT_TRUE(trail) << error;
        return trail;
    }
    void append(AuditTrail& trail, const std::string& user, const std::string& action)
    {
        std::string error;
        const AuditRecord record{user,   "operator",        "http", "127.0.0.1",
                                 action, {{"method", "m"}}, "ok"};
        ASSERT_TRUE(trail.append(record, error)) << error;
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> lines;
        std::istringstream text(home.read("audit/audit.jsonl"));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }
    void rewrite(const std::vector<std::string>& lines, const std::string& tail = "") const
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        home.write("audit/audit.jsonl", text + tail);
    }
    std::string current() const { return folder() + "/audit.jsonl"; }

    test::TempHome home;
};

// Each tampering, on a fresh trail of six lines, and what verify names.
TEST_F(AuditTrailTest, VerifyNamesTheFirstLineChangedRemovedOrInsertedAndMissingLastLines)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<std::string>&, std::string& tail)> tamper;
        std::string problem;  // "" when whole
    };
    const std::vector<Case> cases = {
        {"untouched", [](auto&, auto&) {}, ""},
        {"a result edited", [](auto& l, auto&) { l[2].replace(l[2].find("\"ok\""), 4, "\"no\""); },
         ":3: changed (its hash is not the one the next line holds)"},
        {"the newest line edited",
         [](auto& l, auto&) { l[5].replace(l[5].find("\"ok\""), 4, "\"no\""); },
         ":6: changed (its hash is not the anchor's)"},
        {"a line removed", [](auto& l, auto&) { l.erase(l.begin() + 2); },
         ":3: 1 line(s) before this one were removed"},
        {"a line inserted",
         [](auto& l, auto&) {
             nlohmann::json forged = nlohmann::json::parse(l[3]);
             forged["user"] = "mallory";
             l.insert(l.begin() + 3, forged.dump());
         },
         ":4: inserted (the line after it follows the one before it)"},
        {"the last two removed", [](auto& l, auto&) { l.resize(4); },
         "the last 2 line(s) are missing (the anchor names line 6)"},
        {"not JSON", [](auto& l, auto&) { l[1] = "{"; }, ":2: changed (not an audit line)"},
        {"cut mid-line",
         [](auto& l, auto& tail) {
             tail = l[5].substr(0, 20);
             l.resize(5);
         },
         ":6: a torn last line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder());
        {
            auto trail = open();
            for (int i = 0; i < 6; ++i)
                append(*trail, "ann", "load");
        }
        std::vector<std::string> l = lines();
        std::string tail;
        c.tamper(l, tail);
        rewrite(l, tail);
        const AuditVerdict verdict = verifyAudit(folder());
        EXPECT_EQ(verdict.whole, c.problem.empty()) << verdict.problem;
        if (!c.problem.empty()) {
            EXPECT_THAT(verdict.problem, HasSubstr(c.problem));
        }
    }
}

// What a kill leaves is mended at the next open, and the trail verifies whole: a torn last
// line cut (with a line saying so), a line whose anchor the kill prevented anchored.
TEST_F(AuditTrailTest, AKillDuringAWriteIsMendedAtTheNextOpen)
{
    {
        auto trail = open();
        append(*trail, "ann", "load");
        append(*trail, "ann", "run");
    }
    rewrite(lines(), R"({"seq":3,"time":"2026-)");
    {
        auto trail = open();
        ASSERT_EQ(trail->notices().size(), 1u);
        EXPECT_THAT(trail->notices()[0], HasSubstr("a torn last line of 22 bytes"));
    }
    EXPECT_TRUE(verifyAudit(folder()).whole) << verifyAudit(folder()).problem;
    EXPECT_THAT(lines().back(), HasSubstr(R"("action":"audit_torn_line_cut")"));

    // Killed between the line and its anchor: the anchor of the line before is left.
    const std::string anchor = home.read("audit/anchor");
    append(*open(), "bob", "stop");
    home.write("audit/anchor", anchor);
    EXPECT_FALSE(verifyAudit(folder()).whole);
    EXPECT_THAT(open()->notices().at(0), HasSubstr("anchor (a kill between the two writes)"));
    const AuditVerdict verdict = verifyAudit(folder());
    EXPECT_TRUE(verdict.whole) << verdict.problem;
    EXPECT_EQ(verdict.lines, 4u);
}

// Lines removed by hand are not papered over by the next start: the service records the
// mismatch in the chain, and verify reports it from then on.
TEST_F(AuditTrailTest, AMismatchFoundAtOpenIsRecordedAndStaysAFinding)
{
    {
        auto trail = open();
        for (int i = 0; i < 4; ++i)
            append(*trail, "ann", "load");
    }
    std::vector<std::string> l = lines();
    l.pop_back();
    rewrite(l);
    auto trail = open();
    ASSERT_EQ(trail->notices().size(), 1u);
    EXPECT_THAT(trail->notices()[0], HasSubstr("does not match its anchor"));
    append(*trail, "bob", "run");
    const AuditVerdict verdict = verifyAudit(folder());
    EXPECT_FALSE(verdict.whole);
    EXPECT_THAT(verdict.problem, HasSubstr(":4: the service found the trail not matching its "
                                           "anchor at its start (the anchor names line 4"));

    // An anchor whose count is past 64 bits is a damaged one, found by both, not a throw.
    home.write("audit/anchor", std::string(21, '9') + " " + std::string(64, 'a') + "\n");
    EXPECT_THAT(verifyAudit(folder()).problem, HasSubstr("anchor: missing or unreadable"));
    EXPECT_THAT(open()->notices().at(0), HasSubstr("the anchor is missing"));
}

// The chain goes on across rolled files and across two writers of one folder (the service
// and the host program); a rolled file removed is found.
TEST_F(AuditTrailTest, TheChainCrossesRolledFilesAndTwoWriters)
{
    auto first = open(800);
    auto second = open(800);
    for (int i = 0; i < 10; ++i)
        append(i % 2 ? *first : *second, i % 2 ? "ann" : "bob", "load");
    const std::vector<std::string> files = auditFiles(folder());
    ASSERT_GE(files.size(), 3u);
    AuditVerdict verdict = verifyAudit(folder());
    EXPECT_TRUE(verdict.whole) << verdict.problem;
    EXPECT_EQ(verdict.lines, 10u);
    EXPECT_EQ(verdict.files, files.size());

    std::filesystem::remove(files[1]);
    verdict = verifyAudit(folder());
    EXPECT_FALSE(verdict.whole);
    EXPECT_THAT(verdict.problem, HasSubstr("line(s) before this one were removed"));
    EXPECT_THAT(verdict.problem, HasSubstr(files[2] + ":1:"));
}

TEST_F(AuditTrailTest, ReadSelectsBySinceUserActionAndLimit)
{
    {
        auto trail = open();
        append(*trail, "ann", "load");
        append(*trail, "bob", "run");
        append(*trail, "ann", "run");
    }
    std::vector<nlohmann::json> found;
    std::string error;
    auto filter = [](std::string since, std::string user, std::string action,
                     std::size_t limit = 0) {
        return AuditFilter{since, user, action, limit};
    };
    auto users = [&](const AuditFilter& filter) {
        EXPECT_TRUE(readAudit(folder(), filter, found, error)) << error;
        std::string names;
        for (const auto& line : found)
            names += textField(line, "user") + " ";
        return names;
    };
    EXPECT_EQ(users(filter("", "", "")), "ann bob ann ");
    EXPECT_EQ(users(filter("", "ann", "")), "ann ann ");
    EXPECT_EQ(users(filter("", "", "run")), "bob ann ");
    EXPECT_EQ(users(filter("", "", "", 1)), "ann ");
    EXPECT_EQ(users(filter("2000-01-01", "", "")), "ann bob ann ");
    EXPECT_EQ(users(filter("2999-01-01T10:00Z", "", "")), "");
    // A line changed by hand into other types is read, and passed over by the filters.
    rewrite(lines(), "{\"seq\":4,\"prev\":\"\",\"time\":5,\"user\":[],\"action\":{}}\n");
    EXPECT_EQ(users(filter("2000-01-01", "ann", "run")), "ann ");
    EXPECT_EQ(users(filter("", "", "", 2)), "ann  ");
    EXPECT_FALSE(readAudit(folder(), filter("yesterday", "", ""), found, error));
    EXPECT_THAT(error, HasSubstr("\"yesterday\" is no ISO-8601 UTC time"));

    EXPECT_EQ(normalizedAuditTime("2026-12-03"), "2026-12-03T00:00:00.000Z");
    EXPECT_EQ(normalizedAuditTime("2026-12-03T14:05:06.7Z"), "2026-12-03T14:05:06.700Z");
    EXPECT_EQ(normalizedAuditTime("2026-13-03"), "");
}

}  // namespace
}  // namespace gc6890
