// The text that carries a whole method to the GC, the workfile identity that opens it, and
// the commands the download builds from a stored method instead of copying them from the
// GC's own method.
//
// A method block is: the opening line "CCHTMD B;\"\"", the workfile lines (each opening
// "CCHTMD C;\""), the workfile terminator "CCCCCE 0;\"", the method lines, and the closing
// line "CCHTMD E;\"NONE\"". Every command prints itself as its head, one blank and its
// arguments: integers "%d", floats "%.2f", texts as they are.
#pragma once

#include <ctime>
#include <functional>

#include "command/command_lists.h"
#include "command/command_string.h"
#include "external/method_library.h"
#include "interface/inlet_select.h"
#include "platform/platform.h"

class CMethodCommand : public CCommandString {
public:
    CMethodCommand();
    ~CMethodCommand() override = default;

    // Appends the command's text to the workfile (configuration) part; returns 1.
    int AddWorkfileComponent(CCommandString& command);
    // Appends a text to the workfile part; 0 (nothing added) for an empty text.
    int AddWorkfileComponent(const CString& text);
    // The same for the method part.
    int AddComponent(CCommandString& command);
    int AddComponent(const CString& text);

    // The whole block text, lines separated by line feeds; the closing line has none.
    CString GetString() const override;

    const CConcatenatedStringList& WorkfileComponents() const { return m_WorkfileComponents; }
    const CConcatenatedStringList& Components() const { return m_Components; }

private:
    [[maybe_unused]] int m_nReserved1 = 0;  // kept from the design; nothing reads them
    [[maybe_unused]] int m_nReserved2 = 0;
    CConcatenatedStringList m_WorkfileComponents;
    CConcatenatedStringList m_Components;
};

// "CCCCIW HP,6890,GC,name1,name2,HHMMSS,DDMMYY": names a workfile and stamps it.
class CWorkfileIdentity : public CCommandString {
public:
    explicit CWorkfileIdentity(const CString& line);
    CWorkfileIdentity(const CWorkfileIdentity& other) = default;
    CWorkfileIdentity& operator=(const CWorkfileIdentity& other) = default;
    // A time or date of 0 is replaced by the current local one; the clock is read only
    // when one of them is 0.
    CWorkfileIdentity(const CString& name1, const CString& name2, int time, int date);
    ~CWorkfileIdentity() override = default;

    // Time and date always print with at least six digits ("%.6d").
    CString GetString() const override;
};

// "IFIFCW" (front) or "IBIBCW" (back): five integers, two floats.
class CMethodStringWCSettingsInlet : public CCommandString {
public:
    CMethodStringWCSettingsInlet(tag_INLET_SEL inlet, int a0, int a1, int a2, int a3, int a4,
                                 float a5, float a6);
};

// "C1C1CW" for column 1, "C2C2CW" for any other: eight integers.
class CMethodStringWCSettingsColumn : public CCommandString {
public:
    CMethodStringWCSettingsColumn(int column, int a0, int a1, int a2, int a3, int a4, int a5,
                                  int a6, int a7);
};

// "OVOVCW": four integers.
class CMethodStringWCSettingsOven : public CCommandString {
public:
    CMethodStringWCSettingsOven(int a0, int a1, int a2, int a3);
};

// "OVOVTR": initial temperature, initial time, then six ramps of rate, final temperature
// (truncated) and hold time. The program ends at the first missing ramp or ramp whose rate
// is not above 0; that ramp and all after it print 0.00,0,0.00.
class CMethodStringOvenTempRamp : public CCommandString {
public:
    CMethodStringOvenTempRamp(int initialTemperature, float initialTime, const CRamp* r1,
                              const CRamp* r2, const CRamp* r3, const CRamp* r4, const CRamp* r5,
                              const CRamp* r6);
};

// "OVOVTZ": the oven's thermal zone state.
class CMethodStringOvenThermalZone : public CCommandString {
public:
    explicit CMethodStringOvenThermalZone(int zoneOn);
};

// "OVOVSP": the oven set-point value.
class CMethodStringOvenSetpoints : public CCommandString {
public:
    explicit CMethodStringOvenSetpoints(float value);
};

// "GCGCPO": post-run time and post-run oven temperature.
class CMethodStringPostRunSetpoints : public CCommandString {
public:
    CMethodStringPostRunSetpoints(float time, int temperature);
};

// "IFIFCR": the front inlet's seven PTV cryo settings.
class CMethodStringInletPTVCryoSetpoints : public CCommandString {
public:
    CMethodStringInletPTVCryoSetpoints(int a0, int a1, int a2, int a3, int a4, int a5, int a6);
};

// "C1C1NR" for column 1, "C2C2NR" for any other: a, b, c, the mode flag (as a float), then
// the pressure program with every pressure or flow scaled by 10000 (mode flag 0, pressure)
// or 1000 (otherwise, flow) and truncated; times stay floats. Ramps end as for the oven.
class CMethodStringColumnPneumatics : public CCommandString {
public:
    CMethodStringColumnPneumatics(int column, int a, int b, int c, int modeFlag, float initial,
                                  float time, const CRamp* r1, const CRamp* r2, const CRamp* r3,
                                  float post);
};

namespace gc6890 {

// Truncation toward zero to an int, as the GC's integer arguments need; values beyond the
// int range are held at its ends and a value that is not a number gives 0, so a wild
// method value cannot make the conversion undefined.
int truncToInt(double value);

// The wall clock the workfile identity reads (local time). Tests replace it; an empty
// function puts back the system clock. Returns the previous one.
using WallClock = std::function<std::time_t()>;
WallClock SetWorkfileWallClock(WallClock clock);

}  // namespace gc6890
