// The status record: defaults, text limits, merging, equality and copying.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interface/inlet_system_status.h"

// The record's setters clear the whole buffer, so bytes after a terminator only arise when
// something writes the buffer directly (as a host holding the raw record may). The record
// befriends this class so that tests can do the same through a documented back door.
class CInletSystemStatusTestAccess {
public:
    static char* notReadyBytes(CInletSystemStatus& s) { return s.m_szNotReadyInfo; }
    static char* stopTextBytes(CInletSystemStatus& s) { return s.m_szStopText; }
};

namespace {

constexpr int kSize = CInletSystemStatus::TextBufferSize;

TEST(InletSystemStatusTest, DefaultRecordHasPercentAFullAndEverythingElseZero)
{
    CInletSystemStatus s;
    EXPECT_EQ(s.GetPercentA(), 100.0f);
    for (int value : {s.GetRunning(), s.GetPostRunning(), s.GetNotReady(), s.GetError(), s.GetWashOn(),
                      s.GetInjecting(), s.GetPumpOn(), s.GetLamp(), s.GetDadScan(), s.DADAcquiring()})
        EXPECT_EQ(value, 0);
    for (float value : {s.GetTime(), s.SampleTemperature(), s.GetFlow(), s.GetPercentB(), s.GetPercentC(),
                        s.GetPercentD(), s.GetHighPressure(), s.GetLowPressure(), s.GetTemperatureLeft(),
                        s.GetTemperatureRight()})
        EXPECT_EQ(value, 0.0f);
    EXPECT_TRUE(s.GetNotReadyInfo().IsEmpty());
    EXPECT_TRUE(s.GetStopText().IsEmpty());
    EXPECT_TRUE(s == CInletSystemStatus());
}

TEST(InletSystemStatusTest, LongTextIsCutTo511CharactersAndArgumentKept)
{
    CInletSystemStatus s;
    std::string long600(600, 'x');
    for (size_t i = 0; i < long600.size(); ++i)
        long600[i] = static_cast<char>('a' + i % 26);
    CString text(long600);
    s.SetStatusInfo(text);
    EXPECT_EQ(s.GetStatusInfo().str(), long600.substr(0, 511));
    EXPECT_EQ(text.GetLength(), 600);
}

TEST(InletSystemStatusTest, SettingShorterTextClearsTheRestOfTheBuffer)
{
    CInletSystemStatus s;
    CString longText(std::string(300, 'L'));
    CString shortText("ok");
    s.SetNotReadyInfo(longText);
    s.SetNotReadyInfo(shortText);
    const char* bytes = CInletSystemStatusTestAccess::notReadyBytes(s);
    for (int i = 2; i < kSize; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(InletSystemStatusTest, MergeOrsTheFlagsToZeroOrOne)
{
    CInletSystemStatus mine;
    CInletSystemStatus other;
    mine.GetRunning() = 2;
    other.GetNotReady() = 5;
    other.GetWashOn() = -3;
    other.DADAcquiring() = 9;
    mine |= other;
    EXPECT_EQ(mine.GetRunning(), 1);
    EXPECT_EQ(mine.GetNotReady(), 1);
    EXPECT_EQ(mine.GetWashOn(), 1);
    EXPECT_EQ(mine.DADAcquiring(), 1);
    EXPECT_EQ(mine.GetPostRunning(), 0);
    EXPECT_EQ(mine.GetInjecting(), 0);
    EXPECT_EQ(mine.GetPumpOn(), 0);
    EXPECT_EQ(mine.GetLamp(), 0);
}

TEST(InletSystemStatusTest, MergedErrorFollowsItsTable)
{
    struct Row {
        int mine, other, merged;
    };
    const Row rows[] = {
        {0, 7, 0},   {0, -1, 0}, {5, 0, 0},  {1, 0, 0},   // either side 0 gives 0
        {1, 9, 1},   {1, -1, 1}, {1, 1, 1},               // this record 1
        {4, 1, 1},   {-1, 1, 1},                          // the other record 1
        {-1, 7, -1}, {-1, -1, -1},                        // this record -1
        {7, -1, -1},                                      // the other record -1
        {7, 9, 7},   {-5, 2, -5},                         // any other pair keeps this one
    };
    for (const Row& row : rows) {
        CInletSystemStatus mine;
        CInletSystemStatus other;
        mine.GetError() = row.mine;
        other.GetError() = row.other;
        mine |= other;
        EXPECT_EQ(mine.GetError(), row.merged) << row.mine << " with " << row.other;
    }
}

TEST(InletSystemStatusTest, MergeLeavesTextsTimeAndReadingsOfTheReceiver)
{
    CInletSystemStatus mine;
    CInletSystemStatus other;
    CString mineText("GC ready");
    CString otherText("sampler busy");
    mine.SetStatusInfo(mineText);
    other.SetStatusInfo(otherText);
    other.SetErrorInfo(otherText);
    mine.GetTime() = 1.5f;
    other.GetTime() = 9.0f;
    other.GetDadScan() = 1;
    other.GetFlow() = 2.0f;
    other.GetPercentA() = 30.0f;
    other.GetTemperatureLeft() = 250.0f;
    const CInletSystemStatus before(mine);
    mine |= other;
    EXPECT_TRUE(mine == before);
    EXPECT_EQ(mine.GetStatusInfo(), "GC ready");
}

TEST(InletSystemStatusTest, RecordsDifferingInOneFieldCompareUnequal)
{
    CInletSystemStatus a;
    CInletSystemStatus b;
    CString stop("Stop");
    CString stopLower("stop");
    a.SetStopText(stop);
    b.SetStopText(stopLower);
    EXPECT_FALSE(a == b);
    b.SetStopText(stop);
    EXPECT_TRUE(a == b);
    b.GetTemperatureRight() = 1e-6f;
    EXPECT_FALSE(a == b);
}

TEST(InletSystemStatusTest, CopyReproducesEveryByteOfTheTextBuffers)
{
    CInletSystemStatus source;
    CString text("short");
    source.SetStopText(text);
    source.GetLowPressure() = 3.25f;
    char* raw = CInletSystemStatusTestAccess::stopTextBytes(source);
    for (int i = 6; i < kSize; ++i)
        raw[i] = static_cast<char>(i * 7 + 1);  // garbage after the terminator
    CInletSystemStatusTestAccess::notReadyBytes(source)[kSize - 1] = 'Z';

    CInletSystemStatus copied(source);
    CInletSystemStatus assigned;
    CString other("something else entirely");
    assigned.SetStopText(other);
    assigned = source;
    for (CInletSystemStatus* target : {&copied, &assigned}) {
        EXPECT_EQ(std::memcmp(CInletSystemStatusTestAccess::stopTextBytes(*target), raw, kSize), 0);
        EXPECT_EQ(CInletSystemStatusTestAccess::notReadyBytes(*target)[kSize - 1], 'Z');
        EXPECT_TRUE(*target == source);
    }

    CInletSystemStatus& alias = assigned;
    assigned = alias;  // self-assignment keeps everything
    EXPECT_EQ(std::memcmp(CInletSystemStatusTestAccess::stopTextBytes(assigned), raw, kSize), 0);
    EXPECT_EQ(assigned.GetLowPressure(), 3.25f);
}

}  // namespace
