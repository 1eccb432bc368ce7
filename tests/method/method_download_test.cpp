// The whole download on the scripted line: the sequence to the byte, and every way out.
#include "method/download_fixture.h"

#include <map>

#include "method/method_command.h"
#include "method/method_errors.h"
#include "method/method_readback.h"

namespace gc6890::test {
namespace {

// Column 1's program in constant flow: mode 3, flow flag 1, the initial value and the
// post-run's column value in thousandths.
const char* const kConstantFlow =
    "C1C1NR 1,1,3,1.00,12000,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,15000";

// The block the split method gives on the default GC: the GC's method as read back, with
// the identity renewed, the two configuration commands sent before the block applied, and
// the method's own settings changed (an empty text drops the command) or added.
std::string expectedSplitBlock(const std::string& identity,
                               const std::string& columnProgram = kConstantFlow)
{
    const std::map<std::string, std::string> changed = {
        {"CCCCIW", identity},
        {"C2C2CW", "C2C2CW 0,0,0,5,4,0,0,0"},
        {"GCGCPO", "GCGCPO 5.00,320"},
        {"V7V7CW", "V7V7CW 3,0,0,0.00,0"},
        {"OVOVTR", "OVOVTR 40,1.00,10.00,250,5.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,"
                   "0.00,0.00,0,0.00"},
        {"IFIFTR", "IFIFTR 0,260,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00"},
        {"IFIFCR", ""},
        {"IFIFSP", "IFIFSP 0,1,120000,24000,20,0,0,0,0,0,0"},
        {"IBIBNZ", "IBIBNZ 0"},
        {"CCCCC1", "CCCCC1 2"},
        {"CCCCC2", "CCCCC2 2"}};
    // Each added before the GC's command with this head.
    const std::map<std::string, std::string> added = {{"IFIFNZ", columnProgram},
                                                      {"S1S1CS", "GCGCPU 2"}};
    CMethodCommand block;
    bool configuration = true;  // up to the closing "CCCCCE", which the block adds itself
    for (const std::string& text : defaultGCMethod()) {
        const std::string head = text.substr(0, 6);
        configuration = configuration && head != "CCCCCE";
        if (added.contains(head))
            block.AddComponent(CString(added.at(head)));
        const std::string sent = changed.contains(head) ? changed.at(head) : text;
        if (configuration)
            block.AddWorkfileComponent(CString(sent));
        else if (!sent.empty() && head != "CCCCCE")
            block.AddComponent(CString(sent));
    }
    block.AddComponent(CString("\""));
    return block.GetString().str();
}

// The split method with column 1 in this control mode (constant flow unless said) and a
// post-run: its time, oven temperature and column value, each in their place.
std::string withModeAndPostRun(int controlMode = 3)
{
    std::string text = kSplitMethod;
    text.insert(text.find("[gc.column1]\n") + 13, format("control_mode = %d\n", controlMode));
    text.insert(text.find("[sampler]"), "[gc.post_run]\nenabled = true\ntime = 5.0\n"
                                        "oven_temperature = 320.0\ncolumn_value = 15.0\n");
    return text;
}

class SplitDownloadTest : public DownloadTest {
protected:
    // Everything up to the block: read, immediate commands, run table.
    void scriptBuild()
    {
        scriptStart();
        scriptReadBack();
        line->expect("C2HTCF 0,0,0,5,4,0,0,0");
        line->expect("V7HTCF 3,0,0,0.00,0");
        scriptRunTable();
    }
    int download() { return RunMethodDownload(*this, gcState(), CString(path)); }

    FixedWallClock wallClock{kFirstFebruary2011};
    std::string identity = "CCCCIW HP,6890,GC,SIM6890,DEFAULT,090507,010211";
    std::string block = expectedSplitBlock(identity);
    std::string path = writeMethod(withModeAndPostRun());
};

TEST_F(SplitDownloadTest, SendsTheRebuiltMethodChecksAndInstallsIt)
{
    scriptBuild();
    scriptBlock(block);
    line->expect("CCHTMC").reply("HTCCMC 0,0");
    line->expect("CCHTMI").reply("HTCCMI 0,0");
    EXPECT_EQ(download(), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(statusTexts.back(), "For Help, press F1");
    EXPECT_EQ(contactClosureResets, 1);
    EXPECT_EQ(lockResets, 1);
    EXPECT_EQ(autoPrepRun, 0);
    const int lines = static_cast<int>(std::count(block.begin(), block.end(), '\n')) + 1;
    ASSERT_EQ(static_cast<int>(progress.size()), lines);
    EXPECT_EQ(progress.back(), std::make_pair(lines, lines));
    EXPECT_FLOAT_EQ(frontPressure.m_fInitialValue, 12.0f);

    // Ramped pressure and ramped flow: each mode's code, and the scale of its flow flag.
    for (const auto& [mode, program] :
         {std::pair{2, "C1C1NR 1,1,1,0.00,120000,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,150000"},
          std::pair{4, "C1C1NR 1,1,0,1.00,12000,0.00,0.00,0,0.00,0.00,0,0.00,0.00,0,0.00,15000"}}) {
        SCOPED_TRACE(mode);
        freshGC();
        path = writeMethod(withModeAndPostRun(mode));
        scriptBuild();
        scriptBlock(expectedSplitBlock(identity, program));
        line->expect("CCHTMC").reply("HTCCMC 0,0");
        line->expect("CCHTMI").reply("HTCCMI 0,0");
        EXPECT_EQ(download(), 1);
    }
}

TEST_F(SplitDownloadTest, CheckAndInstallFailuresShowTheirTexts)
{
    struct Case {
        const char* check;    // the GC's answer; nullptr: none
        const char* install;  // nullptr: none, or not asked
        std::string box;
        const char* logged;
    };
    const Case cases[] = {
        {"HTCCMC 26,3", nullptr, "Failed method check\nOne or more parameters have been altered",
         "Failed method check, result code 26: One or more"},
        {"HTCCMC 34,1", nullptr, "Failed method check\n", "Failed method check, result code 34\n"},
        {nullptr, nullptr, "Failed to check new method in GC", "Failed to check new method in GC"},
        {"HTCCMC 0,0", "HTCCMI 27,0",
         "Failed method instalation\nCommand cannot be excecuted while GC is running",
         "Failed method installation, result code 27"},
        {"HTCCMC 0,0", nullptr, "Failed to install new method in GC",
         "Failed to install new method in GC"},
    };
    // The command, and the GC's answer if it gives one.
    auto ask = [&](const char* command, const char* answer) {
        line->expect(command);
        if (answer)
            line->reply(answer);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        freshGC();
        scriptBuild();
        scriptBlock(block);
        ask("CCHTMC", c.check);
        if (c.check && MethodResultCode(c.check) == 0)
            ask("CCHTMI", c.install);
        EXPECT_EQ(download(), 0);
        EXPECT_EQ(boxes, (std::vector<std::string>{"6890 Method Error: " + c.box}));
        EXPECT_NE(log().find(c.logged), std::string::npos);
    }
}

TEST_F(SplitDownloadTest, MissingEchoStopsTheSend)
{
    scriptBuild();
    line->expect("CCHTMD B;\"\"");
    EXPECT_EQ(download(), 0);
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "6890 Method Error: Did not receive method line echo from GC"}));
    EXPECT_EQ(progress.size(), 0u);
}

TEST_F(SplitDownloadTest, LockOutHeldElsewhereSendsNothing)
{
    ASSERT_EQ(LockOut(), 1);
    EXPECT_EQ(download(), 0);
    FreeLock();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(lockResets, 0);
}

TEST_F(SplitDownloadTest, UnopenableFileShowsItsNameAndSendsNothing)
{
    path = home.path() + "/absent.toml";
    EXPECT_EQ(download(), 0);
    EXPECT_EQ(boxes,
              (std::vector<std::string>{"6890 Method Error: Failed to open file" + path + "\n"}));
    EXPECT_EQ(statusTexts.back(), "For Help, press F1 ");
}

TEST_F(SplitDownloadTest, SilentRunStateQueryEndsWithoutABoxAndKeepsTheState)
{
    scriptStart("");
    EXPECT_EQ(download(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(autoPrepRun, -1);
    EXPECT_EQ(displayClears, 0);
    EXPECT_NE(log().find("GC READ STATUS: Failed to get run state and time"), std::string::npos);
}

TEST_F(SplitDownloadTest, RunStateTwoCountsAsAutoPrepRunOn)
{
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MethodRetry", 1, HKEY_LOCAL_MACHINE);
    scriptStart("HTGCRI 2,0,0,0,0.00,0.00,0.00,0,0");
    line->expect("CCHTMD ?");
    EXPECT_EQ(download(), 0);
    EXPECT_EQ(autoPrepRun, 1);
    int stored = 0;
    ReadRegistryPath("Inlets\\Hubrel\\Varnock\\AutoPrepRun", stored, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(stored, 1);
}

TEST_F(SplitDownloadTest, ReadRetriesFollowTheSettingsOnTheTestClock)
{
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MethodRetry", 3, HKEY_LOCAL_MACHINE);
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\FailureSleep", 250, HKEY_LOCAL_MACHINE);
    TestClock clock(1000);
    scriptStart();
    const char* retry = "GCHTD1 \" Retrying download                      \"";
    for (int attempt = 1; attempt < 3; ++attempt)
        line->expect("CCHTMD ?").expect(retry);
    line->expect("CCHTMD ?");
    EXPECT_EQ(download(), 0);
    EXPECT_EQ(clock.now(), 1500u) << "two pauses of FailureSleep";
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "6890 Method Error: Failed to read current method from GC"}));
    const std::string text = log();
    EXPECT_NE(text.find("RETRY READ METHOD FROM GC"), std::string::npos);
    EXPECT_NE(text.find("UNABLE TO READ METHOD FROM GC"), std::string::npos);
}

TEST_F(DownloadTest, ReadBackStopsAtTheLastBlock)
{
    line->expect("CCHTMD ?").reply("HTCCMD E;\"OVOVTZ 1;\"");
    CCommandStringList list;
    EXPECT_EQ(ReadMethodFromGC(*channel, list), 1);
    EXPECT_EQ(list.GetCount(), 1);

    line->expect("CCHTMD ?").reply("HTCCMD E;no quote");
    const std::string before = log();
    EXPECT_EQ(ReadMethodFromGC(*channel, list), 0);
    EXPECT_EQ(log().find("quote", before.size()), std::string::npos) << "no log line of its own";

    line->expect("CCHTMD ?").reply("HTCCMD E;\"OVOVTZ \"1;\"");
    EXPECT_EQ(ReadMethodFromGC(*channel, list), 0);
    EXPECT_NE(log().find("There is a quote in the middle of the string"), std::string::npos);

    line->expect("CCHTMD ?").reply("HTCCMD B;\"\"");
    line->expect("CCHTMD +");
    EXPECT_EQ(ReadMethodFromGC(*channel, list), 0);
    EXPECT_NE(log().find("Failed to send and receive continue method command to GC"),
              std::string::npos);
}

// An inlet type no method file can hold (the file is refused first), built straight from
// the GC's method: the build fails at the front inlet's program. (What type 0 keeps of the
// GC's inlet is the simulator download's inlet table.)
TEST_F(DownloadTest, BuildRefusesAnUnknownFrontInletTypeAtItsProgram)
{
    CCommandStringList gcList;
    ASSERT_EQ(ConvertMethodText(channel.get(), CString(readBackText(gcMethod)), gcList), 1);
    CHP6890Method method;
    method.m_Columns[0].m_nConfigured = 1;
    method.m_Columns[0].m_nInlet = CColumn::FrontInlet;
    method.m_Inlets[0].m_nType = 10;
    CMethodCommand newMethod;
    MethodBuildContext context{gcList,  method,        newMethod,   *channel,
                               nullptr, frontPressure, backPressure};
    line->expect("C2HTCF 0,0,0,5,4,0,0,0");
    line->expect("V7HTCF 3,0,0,0.00,0");
    scriptRunTable();
    line->expect("OVHTCF 325");
    const auto failure = BuildNewMethod(context);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text, "Failed to reload front inlet temperature profile");
    EXPECT_TRUE(failure->clearDisplay);
}

}  // namespace
}  // namespace gc6890::test
