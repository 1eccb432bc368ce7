#include "method/method_command.h"

#include <climits>
#include <cmath>

namespace {

constexpr const char* kBlockOpeningLine = "CCHTMD B;\"\"\n";
constexpr const char* kWorkfileTerminator = "CCCCCE 0;\"\n";
constexpr const char* kBlockClosingLine = "\nCCHTMD E;\"NONE\"";

gc6890::WallClock& wallClock()
{
    static gc6890::WallClock clock;
    return clock;
}

std::time_t currentWallTime()
{
    return wallClock() ? wallClock()() : std::time(nullptr);
}

// Writes one ramp (rate, final, time) into arguments first..first+2: the ramp's values
// scaled by `factor` (1 leaves them as they are) when it is in force, zeros otherwise.
// The final value is always an integer; rate is a float for temperatures (factor 1) and a
// scaled integer for pneumatics.
template <class Setter>
bool writeRamp(const CRamp* ramp, bool inForce, int first, double factor, bool scaleRate,
               Setter& set)
{
    inForce = inForce && ramp && ramp->m_fRate > 0.0f;
    if (!inForce) {
        set.floatAt(first, 0.0f);
        set.intAt(first + 1, 0);
        set.floatAt(first + 2, 0.0f);
        return false;
    }
    if (scaleRate)
        set.intAt(first, gc6890::truncToInt(factor * ramp->m_fRate));
    else
        set.floatAt(first, ramp->m_fRate);
    set.intAt(first + 1, gc6890::truncToInt(factor * ramp->m_fFinal));
    set.floatAt(first + 2, ramp->m_fTime);
    return true;
}

}  // namespace

namespace gc6890 {

int truncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

WallClock SetWorkfileWallClock(WallClock clock)
{
    WallClock previous = std::move(wallClock());
    wallClock() = std::move(clock);
    return previous;
}

}  // namespace gc6890

// ---------------------------------------------------------------------------------------
// The method block

CMethodCommand::CMethodCommand() : CCommandString() {}

int CMethodCommand::AddWorkfileComponent(CCommandString& command)
{
    m_WorkfileComponents.Append(command.GetString());
    return 1;
}

int CMethodCommand::AddWorkfileComponent(const CString& text)
{
    if (text.IsEmpty())
        return 0;
    m_WorkfileComponents.Append(text);
    return 1;
}

int CMethodCommand::AddComponent(CCommandString& command)
{
    m_Components.Append(command.GetString());
    return 1;
}

int CMethodCommand::AddComponent(const CString& text)
{
    if (text.IsEmpty())
        return 0;
    m_Components.Append(text);
    return 1;
}

CString CMethodCommand::GetString() const
{
    CString block = kBlockOpeningLine;
    for (POSITION at = m_WorkfileComponents.GetHeadPosition(); at;)
        block += m_WorkfileComponents.GetNext(at);
    // The last workfile line is still open: the terminator completes it.
    block += kWorkfileTerminator;
    for (POSITION at = m_Components.GetHeadPosition(); at;)
        block += m_Components.GetNext(at);
    block += kBlockClosingLine;
    return block;
}

// ---------------------------------------------------------------------------------------
// The workfile identity

CWorkfileIdentity::CWorkfileIdentity(const CString& line) : CCommandString(line) {}

CWorkfileIdentity::CWorkfileIdentity(const CString& name1, const CString& name2, int time, int date)
    : CCommandString(CCommandType(TARG_CC, TARG_CC, "IW"), 7)
{
    if (time == 0 || date == 0) {
        // "DDMMYYHHMMSS": the date is the first six digits, the time the last six.
        const CString stamp = CTime(currentWallTime()).Format("%d%m%y%H%M%S");
        if (time == 0)
            time = std::atoi(stamp.Right(6).c_str());
        if (date == 0)
            date = std::atoi(stamp.Left(6).c_str());
    }
    SetArgumentString(0, "HP");
    SetArgumentInt(1, 6890);
    SetArgumentString(2, "GC");
    SetArgumentString(3, name1);
    SetArgumentString(4, name2);
    SetArgumentInt(5, time);
    SetArgumentInt(6, date);
}

CString CWorkfileIdentity::GetString() const
{
    CString text;
    // A parsed identity may carry fewer arguments than seven: absent ones print empty/0.
    auto argument = [this](int i) { return i < GetArgumentCount() ? MakeArgString(i) : CString(); };
    auto integer = [this](int i) {
        return i < GetArgumentCount() && GetArgumentType(i) == ARG_INT ? GetArgument(i).nValue : 0;
    };
    text.Format("%s %s,%s,%s,%s,%s,%.6d,%.6d", GetType().GetString().c_str(), argument(0).c_str(),
                argument(1).c_str(), argument(2).c_str(), argument(3).c_str(), argument(4).c_str(),
                integer(5), integer(6));
    return text;
}

// ---------------------------------------------------------------------------------------
// Builders

namespace {

// Fills the arguments of a builder under construction (the setters are protected, so
// each builder hands in its own).
struct Arguments {
    std::function<void(int, int)> intAt;
    std::function<void(int, float)> floatAt;
};

#define BUILDER_ARGUMENTS                                                                          \
    Arguments                                                                                      \
    {                                                                                              \
        [this](int i, int v) { SetArgumentInt(i, v); },                                            \
            [this](int i, float v) { SetArgumentFloat(i, v); }                                     \
    }

}  // namespace

CMethodStringWCSettingsInlet::CMethodStringWCSettingsInlet(tag_INLET_SEL inlet, int a0, int a1,
                                                           int a2, int a3, int a4, float a5,
                                                           float a6)
    : CCommandString(inlet == FRONT_INLET ? CCommandType("IFIFCW") : CCommandType("IBIBCW"), 7)
{
    Arguments set = BUILDER_ARGUMENTS;
    const int ints[] = {a0, a1, a2, a3, a4};
    for (int i = 0; i < 5; ++i)
        set.intAt(i, ints[i]);
    set.floatAt(5, a5);
    set.floatAt(6, a6);
}

CMethodStringWCSettingsColumn::CMethodStringWCSettingsColumn(int column, int a0, int a1, int a2,
                                                             int a3, int a4, int a5, int a6, int a7)
    : CCommandString(column == 1 ? CCommandType("C1C1CW") : CCommandType("C2C2CW"), 8)
{
    Arguments set = BUILDER_ARGUMENTS;
    const int ints[] = {a0, a1, a2, a3, a4, a5, a6, a7};
    for (int i = 0; i < 8; ++i)
        set.intAt(i, ints[i]);
}

CMethodStringWCSettingsOven::CMethodStringWCSettingsOven(int a0, int a1, int a2, int a3)
    : CCommandString(CCommandType("OVOVCW"), 4)
{
    Arguments set = BUILDER_ARGUMENTS;
    const int ints[] = {a0, a1, a2, a3};
    for (int i = 0; i < 4; ++i)
        set.intAt(i, ints[i]);
}

CMethodStringOvenTempRamp::CMethodStringOvenTempRamp(int initialTemperature, float initialTime,
                                                     const CRamp* r1, const CRamp* r2,
                                                     const CRamp* r3, const CRamp* r4,
                                                     const CRamp* r5, const CRamp* r6)
    : CCommandString(CCommandType("OVOVTR"), 20)
{
    Arguments set = BUILDER_ARGUMENTS;
    set.intAt(0, initialTemperature);
    set.floatAt(1, initialTime);
    const CRamp* ramps[] = {r1, r2, r3, r4, r5, r6};
    bool inForce = true;
    for (int k = 1; k <= 6; ++k)
        inForce = writeRamp(ramps[k - 1], inForce, 3 * k - 1, 1.0, false, set);
}

CMethodStringOvenThermalZone::CMethodStringOvenThermalZone(int zoneOn)
    : CCommandString(CCommandType("OVOVTZ"), 1)
{
    Arguments set = BUILDER_ARGUMENTS;
    set.intAt(0, zoneOn);
}

CMethodStringOvenSetpoints::CMethodStringOvenSetpoints(float value)
    : CCommandString(CCommandType("OVOVSP"), 1)
{
    Arguments set = BUILDER_ARGUMENTS;
    set.floatAt(0, value);
}

CMethodStringPostRunSetpoints::CMethodStringPostRunSetpoints(float time, int temperature)
    : CCommandString(CCommandType("GCGCPO"), 2)
{
    Arguments set = BUILDER_ARGUMENTS;
    set.floatAt(0, time);
    set.intAt(1, temperature);
}

CMethodStringInletPTVCryoSetpoints::CMethodStringInletPTVCryoSetpoints(int a0, int a1, int a2,
                                                                       int a3, int a4, int a5,
                                                                       int a6)
    : CCommandString(CCommandType("IFIFCR"), 7)
{
    Arguments set = BUILDER_ARGUMENTS;
    const int ints[] = {a0, a1, a2, a3, a4, a5, a6};
    for (int i = 0; i < 7; ++i)
        set.intAt(i, ints[i]);
}

CMethodStringColumnPneumatics::CMethodStringColumnPneumatics(int column, int a, int b, int c,
                                                             int modeFlag, float initial,
                                                             float time, const CRamp* r1,
                                                             const CRamp* r2, const CRamp* r3,
                                                             float post)
    : CCommandString(column == 1 ? CCommandType("C1C1NR") : CCommandType("C2C2NR"), 16)
{
    // Pressures reach the GC in 1/10000, flows in 1/1000 of the display unit.
    const double factor = modeFlag == 0 ? 10000.0 : 1000.0;
    Arguments set = BUILDER_ARGUMENTS;
    set.intAt(0, a);
    set.intAt(1, b);
    set.intAt(2, c);
    set.floatAt(3, static_cast<float>(modeFlag));
    set.intAt(4, gc6890::truncToInt(factor * initial));
    set.floatAt(5, time);
    const CRamp* ramps[] = {r1, r2, r3};
    bool inForce = true;
    for (int k = 1; k <= 3; ++k)
        inForce = writeRamp(ramps[k - 1], inForce, 3 * k + 3, factor, true, set);
    set.intAt(15, gc6890::truncToInt(factor * post));
}
