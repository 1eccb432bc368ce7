// The instrument base classes: defaults, forwarding between overloads, slot order, the
// texts they write and the per-class window members.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "external/inlet_utils.h"
#include "interface/instrument_base.h"

namespace {

// A sampler that supplies only the operations the base leaves open, and records which of
// the overridable ones were reached.
class PlainSampler : public CAutoSampler {
public:
    using CAutoSampler::StartMethod;
    using CAutoSampler::WriteExpRecord;
    int ReadStatus(CInletSystemStatus&) override { return 1; }
    int LoadMethod(const CString& name) override { loaded = name; return 7; }
    int StartMethod() override { return 1; } int StartMethod(const CString&) override { return 1; }
    int StopMethod() override { return 1; } int Injecting() override { return 0; }
    int MethodRunning() override { return 0; } int PostRunning() override { return 0; }
    int NotReady(CString&) override { return 0; } int Error(CString&) override { return 0; }
    CString loaded;
};

class VialSampler : public PlainSampler {
public:
    using PlainSampler::StartMethod;
    using PlainSampler::WriteExpRecord;
    int StartMethod(const CString& method, const CString& vial, float volume) override
    {
        seen.Format("%s|%s|%.1f", method.c_str(), vial.c_str(), static_cast<double>(volume));
        return 3;
    }
    int WriteExpRecord(CGenericExpRecord* record, const CString& method) override { record->AddText(method); return 5; }
    CString seen;
};

TEST(AutoSamplerTest, ConstructionSetsVialRangeAndEmptyRunMessage)
{
    SetVialRange(0, 0);
    PlainSampler sampler;
    EXPECT_EQ(gc6890::GetVialRange().first, 1);
    EXPECT_EQ(gc6890::GetVialRange().last, 10000);
    EXPECT_TRUE(sampler.RunMessage().IsEmpty());
    sampler.RunMessage() = "Injected";
    EXPECT_EQ(sampler.RunMessage(), "Injected");
}

TEST(AutoSamplerTest, DefaultsAnswerUntilTheInstrumentOverridesThem)
{
    PlainSampler plain;
    VialSampler vial;
    CAutoSampler& base = plain;
    CAutoSampler& overriding = vial;
    CGenericExpRecord record;
    CString text("kept");
    EXPECT_EQ(base.InitialiseComms() + base.Initialise() + base.GenericOp(1, 2), 3);
    EXPECT_EQ(base.CloseDownComms() + base.Inject() + base.WaitingToInject(), 3);
    EXPECT_EQ(base.SwitchWash(On) + base.ResetInjector(), 0);
    EXPECT_EQ(base.StartMethod("Tox", CAutoSampler::StartMethodParams{"42", 2.5f}), 0);
    EXPECT_EQ(overriding.StartMethod("Tox", CAutoSampler::StartMethodParams{"42", 2.5f}), 3);
    EXPECT_EQ(vial.seen, "Tox|42|2.5");
    EXPECT_EQ(base.WriteExpRecord(&record, "Tox", text, SampleRun), 0);
    EXPECT_EQ(overriding.WriteExpRecord(&record, "Tox", text, BlankRun), 5);
    EXPECT_EQ(record.Text(), "Tox");
    EXPECT_EQ(overriding.LoadMethod("Tox", CString("ignored")), 7);
    EXPECT_EQ(vial.loaded, "Tox");
}

TEST(AutoSamplerTest, WritesInjectionVolumeUnderItsHeading)
{
    PlainSampler sampler;
    CGenericExpRecord record;
    sampler.WriteInjectionVolume(&record, 1.5f);
    EXPECT_EQ(record.Text(), "\nSample Run Injection Parameter\n\nInjection Volume (ul)   -   1.50\n");
}

#if defined(__x86_64__) || defined(__i386__)
// The Itanium C++ ABI stores a virtual member pointer as 1 + its byte offset in the table.
template <class F>
std::ptrdiff_t slotOf(F member)
{
    struct Rep {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } rep;
    static_assert(sizeof(F) == sizeof(Rep));
    std::memcpy(&rep, &member, sizeof rep);
    return static_cast<std::ptrdiff_t>((rep.ptr - 1) / sizeof(void*));
}

TEST(AutoSamplerTest, VirtualOperationsKeepTheHostsSlotOrder)
{
    using S = CAutoSampler;
    using Str = const CString&;
    const std::ptrdiff_t slots[] = {
        slotOf(&S::InitialiseComms), slotOf(&S::Initialise), slotOf(&S::GenericOp),
        slotOf(&S::ReadStatus), slotOf(static_cast<int (S::*)(Str, CString)>(&S::LoadMethod)),
        slotOf(static_cast<int (S::*)(Str)>(&S::LoadMethod)),
        slotOf(static_cast<int (S::*)()>(&S::StartMethod)),
        slotOf(static_cast<int (S::*)(Str)>(&S::StartMethod)),
        slotOf(static_cast<int (S::*)(Str, Str, float)>(&S::StartMethod)),
        slotOf(static_cast<int (S::*)(Str, const S::StartMethodParams&)>(&S::StartMethod)),
        slotOf(&S::StopMethod), slotOf(&S::SwitchWash), slotOf(&S::ResetInjector),
        slotOf(&S::CloseDownComms),
        slotOf(static_cast<int (S::*)(CGenericExpRecord*, Str, CString&, eRunType)>(&S::WriteExpRecord)),
        slotOf(static_cast<int (S::*)(CGenericExpRecord*, Str)>(&S::WriteExpRecord)),
        slotOf(&S::WriteInjectionVolume), slotOf(&S::Inject), slotOf(&S::InitialiseRawDataManager),
        slotOf(&S::Injecting), slotOf(&S::WaitingToInject), slotOf(&S::MethodRunning),
        slotOf(&S::PostRunning), slotOf(&S::NotReady), slotOf(&S::Error), slotOf(&S::RunMessage)};
    for (std::ptrdiff_t i = 0; i < std::ssize(slots); ++i)
        EXPECT_EQ(slots[i] - slots[0], i) << "operation " << i + 1;
}
#endif

class TestPump : public CPump {
public:
    int ReadStatus(CInletSystemStatus&) override { return 1; } int SwitchPump(Switch) override { return 1; }
    int StartMethod() override { return 1; } int StartMethod(const CString&) override { return 1; }
    int StopMethod() override { return 1; } int GetMethodLength(const CString&, float&) override { return 1; }
    int PumpOn() override { return 0; } int MethodRunning() override { return 0; }
    int PostRunning() override { return 0; } int NotReady(CString&) override { return 0; }
    int Error(CString&) override { return 0; }
};

TEST(PumpTest, SolventMonitorUpdateForDefaultRecord)
{
    TestPump pump;
    CInletSystemStatus status;
    CString text("previous");
    EXPECT_TRUE(pump.FormatSolventMonitorUpdate(status, text, "Pump 1"));
    std::string expected = "<solventMonitorModel><pump><name>Pump 1</name><flowRate>0.000000</flowRate>";
    for (const char* input : {"A", "B", "C", "D"})
        expected += std::string("<connectionPoint><name>") + input + "</name><type>Input</type><composition>" +
                    (input[0] == 'A' ? "-100.000000" : "-0.000000") + "</composition></connectionPoint>";
    expected += "<connectionPoint><name>Output</name><type>Output</type><composition>100</composition>"
                "</connectionPoint></pump></solventMonitorModel>";
    EXPECT_EQ(text.str(), expected);
    EXPECT_EQ(pump.PumpStopOnExit(), 0);
}

class TestUVDetector : public CUVDetector {
public:
    int ReadStatus(CInletSystemStatus&) override { return 1; }
    int SwitchDetector(Switch) override { return 1; }
    int LoadMethod(const CString& name) override { return name == "uv" ? 4 : 0; }
    using CUVDetector::LoadMethod;
    int StartMethod() override { return 1; } int StartMethod(const CString&) override { return 1; }
    int StopMethod() override { return 6; } int DetectorOn() override { return 0; }
    int MethodRunning() override { return 0; } int PostRunning() override { return 0; }
    int NotReady(CString&) override { return 0; } int Error(CString&) override { return 0; }
    HWND detectorWindow() const { return CDetector::m_hUserInterfaceWnd; }
    HWND ownWindow() const { return CUVDetector::m_hUserInterfaceWnd; }
};

TEST(DetectorTest, ForwardsToTheInstrumentAndKeepsTheUVWindowApart)
{
    TestUVDetector detector;
    CDetector& base = detector;
    CGenericExpRecord record;
    CString text;
    EXPECT_EQ(base.LoadMethod("uv", CString("ignored")), 4);
    EXPECT_EQ(base.FinishMethod(), 6);
    EXPECT_EQ(base.WriteExpRecord(&record, "uv", text, SampleRun), 0);
    EXPECT_EQ(base.InitialiseComms() + base.Initialise() + base.CloseDownComms(), 3);
    EXPECT_EQ(base.Balance() + base.ReadBufferReady() + base.InitialiseNewDataAcquisition("m", "f"), 0);

    const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));
    detector.SetUserInterfaceWindow(window);
    EXPECT_EQ(detector.ownWindow(), window);
    EXPECT_EQ(detector.detectorWindow(), nullptr);
    EXPECT_EQ(CUVDetector::GetThisMessageMap()->baseMap, &CDetector::GetThisMessageMap);
}

}  // namespace
