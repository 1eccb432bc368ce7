// The status record: text limits, copying, equality and merging.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interface/inlet_system_status.h"

// Setters clear the whole buffer, so bytes after a terminator only arise when something
// writes the raw buffer (as a host holding the record may). The record befriends this
// test-only class so that tests can do the same.
class CInletSystemStatusTestAccess {
public:
    static char* stopTextBytes(CInletSystemStatus& s) { return s.m_szStopText; }
};

namespace {

TEST(InletSystemStatusTest, TextsAreCutTo511CharactersCopiedByteForByteAndCompared)
{
    std::string long600;
    for (int i = 0; i < 600; ++i)
        long600 += static_cast<char>('a' + i % 26);
    CInletSystemStatus s;
    CString text(long600);
    s.SetStatusInfo(text);
    EXPECT_EQ(s.GetStatusInfo().str(), long600.substr(0, 511));
    EXPECT_EQ(text.GetLength(), 600);

    // A copy reproduces every byte of the text buffers.
    constexpr int size = CInletSystemStatus::TextBufferSize;
    CInletSystemStatus source;
    CString shortText("short"), other("something else entirely");
    source.SetStopText(shortText);
    char* raw = CInletSystemStatusTestAccess::stopTextBytes(source);
    for (int i = 6; i < size; ++i)
        raw[i] = static_cast<char>(i * 7 + 1);  // garbage after the terminator

    CInletSystemStatus copied(source), assigned;
    assigned.SetStopText(other);
    assigned = source;
    assigned = *&assigned;  // self-assignment changes nothing
    for (CInletSystemStatus* target : {&copied, &assigned}) {
        EXPECT_EQ(std::memcmp(CInletSystemStatusTestAccess::stopTextBytes(*target), raw, size), 0);
        EXPECT_TRUE(*target == source);
    }

    // Records differing in the stop text's case or in the right temperature are unequal.
    CInletSystemStatus a, b;
    CString stop("Stop"), stopLower("stop");
    a.SetStopText(stop);
    b.SetStopText(stopLower);
    EXPECT_FALSE(a == b);
    b.SetStopText(stop);
    EXPECT_TRUE(a == b);
    b.GetTemperatureRight() = 1e-6f;
    EXPECT_FALSE(a == b);
}

// The flags become 0 or 1 (the error flag has its own rule); texts, time and readings stay
// the receiver's.
TEST(InletSystemStatusTest, MergeOrsTheFlagsAndKeepsTheRest)
{
    CInletSystemStatus mine, other;
    CString mineText("GC ready"), otherText("sampler busy");
    mine.SetStatusInfo(mineText);
    mine.GetRunning() = 2;
    other.SetStatusInfo(otherText);
    other.SetErrorInfo(otherText);
    other.GetNotReady() = 5;
    other.DADAcquiring() = -3;
    other.GetTime() = 9.0f;
    other.GetDadScan() = 1;
    other.GetPercentA() = 30.0f;
    other.GetTemperatureLeft() = 250.0f;
    CInletSystemStatus expected(mine);
    expected.GetRunning() = expected.GetNotReady() = expected.DADAcquiring() = 1;
    mine |= other;
    EXPECT_TRUE(mine == expected);

    // The error flag follows a table of its own.
    const struct {
        int mine, other, merged;
    } rows[] = {
        {0, 7, 0},   {5, 0, 0},   {1, 0, 0},  // either side 0 gives 0
        {1, 9, 1},   {1, -1, 1},  {4, 1, 1},  // then a 1 on either side
        {-1, 7, -1}, {7, -1, -1},             // then a -1 on either side
        {7, 9, 7},   {-5, 2, -5},             // any other pair keeps this record's
    };
    for (const auto& row : rows) {
        CInletSystemStatus receiver, sender;
        receiver.GetError() = row.mine;
        sender.GetError() = row.other;
        receiver |= sender;
        EXPECT_EQ(receiver.GetError(), row.merged) << row.mine << " with " << row.other;
    }
}

}  // namespace
