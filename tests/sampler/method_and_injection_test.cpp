// The sampler's set points and injection commands, to the byte on the scripted line.
#include "sampler/sampler_fixture.h"

namespace gc6890::test {
namespace {

// Every syringe and injection value distinct, so that a value in the wrong place shows.
void distinctValues(CHP6890Method&, CALS6890Method& als)
{
    als.m_Status.m_nFirstVial = 7;
    als.m_Status.m_nOffsetBackVials = 1;
    als.m_Injection.m_nVolume = 10;
    als.m_Injection.m_nSolventAPreWashes = 2;
    als.m_Injection.m_nSolventBPreWashes = 3;
    als.m_Injection.m_nSampleWashes = 4;
    als.m_Injection.m_nSolventAWashes = 5;
    als.m_Injection.m_nSolventBWashes = 6;
    als.m_Syringe.m_nSlowPlunger = 1;
    als.m_Syringe.m_nSamplePumps = 3;
    als.m_Syringe.m_nSamplingOffset = 2;
    als.m_Syringe.m_nSyringeSize = 10;
    als.m_Syringe.m_nViscosityDelay = 4;
    als.m_Syringe.m_fPreDwellTime = 0.7f;  // held as 0.69999998: sent as 69
    als.m_Syringe.m_fPostDwellTime = 0.5f;
}

// The set points distinctValues gives one injector, and those of an injector not used.
const std::string kGroup = "1,1,3,4,5,6,2,69,50,10,40,2,3";
const std::string kUnused = ",,,,,,,,,,,,";

// The set points of a method with the defaults but this volume step, on the front injector.
std::string frontSetPoints(const std::string& step)
{
    return "01HTSETPTS " + step + ",0,3,0,0,0,0,0,0,10,0,0,0;" + kUnused + "; 0, 0";
}

TEST_F(SamplerTest, SetPointsLayoutFollowsTheInjectorChoice)
{
    struct Case {
        int front = 0, back = 0, both = 0;
        std::string frontGroup, backGroup;
        int selection;
    };
    const Case cases[] = {
        // No flag on the first load keeps the front layout.
        {.frontGroup = kGroup, .backGroup = kUnused, .selection = 1},
        {.back = 1, .frontGroup = kUnused, .backGroup = kGroup, .selection = 2},
        {.both = 1, .frontGroup = kGroup, .backGroup = kGroup, .selection = 3},
        // Front and back both set: the back injector, after both checks.
        {.front = 1, .back = 1, .frontGroup = kUnused, .backGroup = kGroup, .selection = 2},
    };
    sampler->m_bFrontInletConfigured = sampler->m_bBackInletConfigured = 1;
    sampler->m_bFrontInjectorPresent = sampler->m_bBackInjectorPresent = 1;
    for (const Case& c : cases) {
        writeMethod("m", [&](CHP6890Method& gc, CALS6890Method& als) {
            distinctValues(gc, als);
            als.m_Status.m_nFrontInjector = c.front;
            als.m_Status.m_nBackInjector = c.back;
            als.m_Status.m_nBothInjectors = c.both;
        });
        CVarnockAutoSampler::m_sInjectorSelection = 1;
        line->expect("01HTSETPTS " + c.frontGroup + ";" + c.backGroup + "; 1, 0")
            .reply("HT01SETPTS 0");
        EXPECT_EQ(sampler->LoadMethod("m"), 1) << c.selection;
        EXPECT_EQ(CVarnockAutoSampler::m_sInjectorSelection, c.selection);
        EXPECT_EQ(CVarnockAutoSampler::m_sNextVial, 7);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SamplerTest, VolumeStepDependsOnTheInstrumentType)
{
    struct Case {
        int volume;
        tag_HP6890_TYPE type;
        const char* step;
    };
    const Case cases[] = {
        {2, HP6890_STANDARD, "2"},   {2, HP6890_REV_N, "1"},   {50, HP6890_REV_N, "6"},
        {25, HP6890_STANDARD, "25"}, {25, HP6890_REV_N, "25"},
    };
    for (const Case& c : cases) {
        writeMethod("v", [&](CHP6890Method&, CALS6890Method& als) {
            als.m_Injection.m_nVolume = c.volume;
        });
        sampler->m_n6890Type = c.type;
        line->expect(frontSetPoints(c.step)).reply("HT01SETPTS 0");
        EXPECT_EQ(sampler->LoadMethod("v"), 1) << c.volume;
    }
}

TEST_F(SamplerTest, AConfigurationThatCannotInjectIsRefusedWithItsMessage)
{
    // Both towers fitted and both zones on unless a row says otherwise.
    struct Case {
        int front = 0, back = 0, both = 0;
        int frontTower = 1, backTower = 1, frontZone = 1, backZone = 1;
        const char* message;
    };
    const Case cases[] = {
        {.front = 1, .frontTower = 0, .message = "Front Injector or Inlet not configured\n"},
        {.front = 1, .frontZone = 0, .message = "Front Inlet Thermal Zone OFF\n"},
        {.back = 1, .backTower = 0, .message = "Back Injector or Inlet not configured\n"},
        {.front = 1, .back = 1, .backZone = 0, .message = "Back Inlet Thermal Zone OFF\n"},
        {.both = 1, .backTower = 0, .message = "Not configured for injection to both inlets\n"},
        {.both = 1, .backZone = 0, .message = "Back Inlet Thermal Zone OFF\n"},
    };
    for (const Case& c : cases) {
        writeMethod("bad", [&](CHP6890Method& gc, CALS6890Method& als) {
            gc.m_Inlets[0].m_Split.m_nZoneOn = c.frontZone;
            gc.m_Inlets[1].m_Split.m_nZoneOn = c.backZone;
            als.m_Status.m_nFrontInjector = c.front;
            als.m_Status.m_nBackInjector = c.back;
            als.m_Status.m_nBothInjectors = c.both;
        });
        sampler->m_bFrontInletConfigured = sampler->m_bBackInletConfigured = 1;
        sampler->m_bFrontInjectorPresent = c.frontTower;
        sampler->m_bBackInjectorPresent = c.backTower;
        boxes.clear();
        EXPECT_EQ(sampler->LoadMethod("bad"), 0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], std::string("6890 Method Error: ") + c.message);
    }

    // A refusal by the sampler itself fails quietly; a missing file sends nothing.
    writeMethod("ok", [](CHP6890Method&, CALS6890Method&) {});
    line->expect(frontSetPoints("1")).reply("HT01SETPTS 142");
    boxes.clear();
    EXPECT_EQ(sampler->LoadMethod("ok"), 0);
    EXPECT_EQ(sampler->LoadMethod("missing"), 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SamplerTest, InjectionCommandNamesTheVialsAndAnImmediateAnswerSettlesIt)
{
    struct Case {
        int selection, offset = 0;
        int vial = 0;  // 0: the text vial is used
        const char* text = nullptr;
        const char* command = nullptr;  // none: refused before anything is sent
    };
    // The last row leaves the front injector chosen, as the checks after the table need.
    const Case cases[] = {
        {.selection = 3, .offset = 1, .vial = 50, .command = "01HTSINJECT 50;100"},
        {.selection = 3, .offset = 1, .vial = 51},
        {.selection = 3, .vial = 51, .command = "01HTSINJECT 51;51"},
        {.selection = 2, .text = "12", .command = "01HTSINJECT ;12"},
        // The back injector alone takes its vial as given: no partner, no offset, no limit.
        {.selection = 2, .vial = 7, .command = "01HTSINJECT ;7"},
        {.selection = 2, .offset = 1, .vial = 51, .command = "01HTSINJECT ;51"},
        {.selection = 3, .offset = 1, .text = "5", .command = "01HTSINJECT 5;55"},
        {.selection = 1, .vial = 7, .command = "01HTSINJECT 7"},
    };
    for (const Case& c : cases) {
        CVarnockAutoSampler::m_sInjectorSelection = c.selection;
        CVarnockAutoSampler::m_sOffsetBackVials = c.offset;
        if (c.command)
            line->expect(c.command).reply("HT01SINJECT 0");
        const int result =
            c.text ? sampler->InjectSample(CString(c.text)) : sampler->InjectSample(c.vial);
        EXPECT_EQ(result, c.command ? 1 : 0) << (c.command ? c.command : "refused");
    }

    // An immediate answer settles the injection at once.
    line->expect("01HTSINJECT 3").reply("HT01SINJECT 5");
    EXPECT_EQ(sampler->InjectSample(3), 0);
    EXPECT_EQ(sampler->m_bInjectResponseDone, 1);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 0);

    // A GC that does not prepare itself is told to after an accepted injection.
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\AutoPrepRun", 0, HKEY_LOCAL_MACHINE);
    line->expect("01HTSINJECT 4").reply("HT01SINJECT 0");
    line->expect("GCHTPR").reply("HTGCPR 27");  // whatever the answer says
    EXPECT_EQ(sampler->InjectSample(4), 1);
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 0);

    // Someone else holds the lock-out: nothing is sent.
    ASSERT_TRUE(LockOut());
    EXPECT_EQ(sampler->InjectSample(5), 0);
    EXPECT_TRUE(FreeLock());
}

TEST_F(SamplerTest, StartMethodFormsLoadInjectAndCountVials)
{
    writeMethod("seven",
                [](CHP6890Method&, CALS6890Method& als) { als.m_Status.m_nFirstVial = 7; });
    line->expect(frontSetPoints("1")).reply("HT01SETPTS 0");
    line->expect("01HTSINJECT 7").reply("HT01SINJECT 0");
    EXPECT_EQ(sampler->StartMethod(CString("seven")), 1);
    EXPECT_EQ(CVarnockAutoSampler::m_sNextVial, 7);

    line->expect("01HTSINJECT 7").reply("HT01SINJECT 0");
    line->expect("01HTSINJECT 8").reply("HT01SINJECT 0");
    EXPECT_EQ(sampler->StartMethod(), 1);
    EXPECT_EQ(sampler->StartMethod(), 1);
    EXPECT_EQ(CVarnockAutoSampler::m_sNextVial, 9);

    // The volume forms load the volume's step and leave the vial counter.
    line->expect(frontSetPoints("25")).reply("HT01SETPTS 0");
    line->expect("01HTSINJECT 12").reply("HT01SINJECT 0");
    EXPECT_EQ(sampler->StartMethod(CString("seven"), CString("12"), 25.0f), 1);
    EXPECT_EQ(CVarnockAutoSampler::m_sNextVial, 9);

    line->expect(frontSetPoints("2")).reply("HT01SETPTS 0");
    line->expect("01HTSINJECT 4").reply("HT01SINJECT 0");
    EXPECT_EQ(sampler->StartMethod(CString("seven"), 4, 20.0f), 1);

    sampler->m_n6890Type = HP6890_REV_N;  // 25 has no known step: refused, nothing sent
    EXPECT_EQ(sampler->StartMethod(CString("seven"), 4, 25.0f), 0);
}

TEST_F(SamplerTest, ExperimentRecordPrintsTheSamplerMethodWithoutTheInstrument)
{
    writeMethod("rec", distinctValues);
    sampler->HandleSerialCommsError();  // no channel: the file alone decides
    CGenericExpRecord record;
    EXPECT_EQ(sampler->WriteExpRecord(&record, "rec"), 1);
    EXPECT_NE(record.Text().find("AUTOSAMPLER\t"), std::string::npos) << record.Text();

    CGenericExpRecord untouched;
    EXPECT_EQ(sampler->WriteExpRecord(&untouched, "missing"), 0);
    EXPECT_TRUE(untouched.Text().empty());
}

}  // namespace
}  // namespace gc6890::test
