// The GC's method rules, one table: what a GC refuses in a method and the result code it
// answers (texts: GetMethodErrorText). Two users read it: the simulator's method check
// applies it to a downloaded block, command by command, and the host's method check
// applies it to a method file before any download, so the two cannot drift. The ranges
// per parameter kind are the GC's documented limits where known, otherwise our stated
// assumption (docs/simulator.md lists them).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "external/installed_hardware.h"

namespace gc6890 {

// The result codes the rules give.
enum MethodRuleCode : int {
    kRuleTooLarge = 1,
    kRuleTooSmall = 2,
    kRuleWrongType = 3,
    kRuleTooManyArguments = 9,
    kRuleRequiredAbsent = 10,
    kRuleNotInstalled = 13,
    kRuleNotCompatible = 15,
    kRuleOvenMaximum = 16,
    kRuleInitialOvenAboveMaximum = 17,  // ramp k's end: 17 + k
    kRuleAltered = 26,
    kRuleWhileRunning = 27,
    kRulePostAboveMaximum = 56,
    kRuleCryoOtherType = 57,
    kRuleCryoUnsupported = 58,
    kRuleCryoValveInUse = 59,
};

enum class ParameterKind {
    Any,  // not checked
    Flag,
    OvenTemperature,
    OvenRate,
    InletTemperature,
    InletRate,
    Time,
    Pressure,      // a column's pressure program
    PressureRate,  // its ramps' rate
    Flow,          // the same of a flow-controlled column
    FlowRate,
    // The inlet pneumatics (flows in thousandths of mL/min, pressures and the purge time
    // of the splitless modes in ten-thousandths on the line).
    SplitFlow,
    SplitRatio,
    PurgeFlow,
    PurgeTime,
    SaverFlow,
    VentFlow,
    PulsePressure,
    VentPressure,
    // The detectors' settings, kept from the GC by the download.
    DetectorTemperature,
    AirFlow,
    FuelFlow,
    MakeupFlow,
};

struct ParameterRule {
    ParameterKind kind;
    const char* name;  // "oven temperature"
    const char* unit;  // "C"; "" when none
    double min;
    double max;
    bool integer;       // the GC takes whole numbers only; a decimal is the wrong data type
    bool clamps;        // above max the GC sets max and answers 26, rather than refusing (1)
    double lineFactor;  // on the line the value is carried times this, truncated
};

std::span<const ParameterRule> ParameterRules();
const ParameterRule& RuleOf(ParameterKind kind);

// A rule broken: the GC's result code and what was broken, with the limit.
struct RuleBreach {
    int code = 0;
    std::string rule;  // "oven maximum above the installed 450"
    explicit operator bool() const { return code != 0; }
};

// The shortest text that reads back as `value`, "." whatever the locale.
std::string NumberText(double value);

// A value of a kind in display units (C, min, psi, mL/min): 1, 2 or 26.
RuleBreach CheckValue(ParameterKind kind, double value);

// The oven: the method's maximum against the installed limit (16); the program's initial
// temperature (point 0) and ramp k's end (point k) against the method's maximum (17 + k);
// the post-run temperature against it (56).
RuleBreach CheckOvenMaximum(double maximum, int installedLimit);
RuleBreach CheckOvenPoint(int point, double temperature, double maximum);
RuleBreach CheckPostTemperature(double temperature, double maximum);

// Cryo. The oven asks for a coolant by its cryo code (0 none, 1 CO2, 2 N2); the front
// inlet's cryo may be on with a coolant code of the same form. Our model: a zone takes
// only the coolant it is fitted for (58); the oven and the front inlet share one coolant
// supply (57 when both are on with different coolants); a GC whose cryo valve drive
// serves the front inlet, with no oven cryo fitted, refuses oven cryo (59).
struct CryoRequest {
    int ovenCode = 0;
    bool inletOn = false;
    int inletCode = 0;
};
RuleBreach CheckCryo(const CryoRequest& request, const InstalledHardware& hardware);
// The coolant code of a method's or a command's coolant choice (0 CO2, else N2).
int CryoCodeOfCoolant(int coolant);

// Installed hardware: an inlet side without an inlet (13), an inlet code other than the
// installed inlet's (15), a column not installed (13), a GC without EPC on every column
// (15), and the GC's run state (27 during a run).
RuleBreach CheckInletFitted(int side, const InstalledHardware& hardware);
RuleBreach CheckInletCode(int side, int gcInletCode, const InstalledHardware& hardware);
// An inlet's own command ("IFIF" or "IBIB" and `operation`, "TR"): 13 on a side without
// an inlet, 15 for the pneumatics command of another inlet kind than the installed one.
RuleBreach CheckInletCommand(int side, std::string_view operation,
                             const InstalledHardware& hardware);
RuleBreach CheckColumnFitted(int column, const InstalledHardware& hardware);
RuleBreach CheckEpc(const InstalledHardware& hardware);
RuleBreach CheckRunState(int runState);

// The commands of a method block, as the GC checks them: required (10), how many
// arguments they take (9), and each argument's kind (3 for text or a decimal where a
// whole number belongs; 1, 2, 26 for its range). A command whose arguments mean different
// things by a mode (an inlet's pneumatics by its injection mode, a column's program by its
// flow flag) names the mode's argument; its value picks the kinds.
struct CommandRule {
    std::string head;
    bool workfile;  // in the workfile part, else in the method part
    bool required;
    int maxArguments;                      // 0: not checked
    std::vector<ParameterKind> arguments;  // from argument 0; the rest are Any
    int modeArgument = -1;
    std::vector<std::vector<ParameterKind>> modes;  // by mode value; others: `arguments`
};
std::span<const CommandRule> CommandRules();
const CommandRule* FindCommandRule(std::string_view head);

// The kind of argument `index` of a command with these arguments (its mode resolved).
ParameterKind ArgumentKind(const CommandRule& rule, const std::vector<std::string>& args,
                           std::size_t index);

// The argument count and data types of one command; `index` is the offending argument.
RuleBreach CheckArgumentShape(const CommandRule& rule, const std::vector<std::string>& args,
                              int& index);
// The ranges of its arguments, scaled to display units.
RuleBreach CheckArgumentValues(const CommandRule& rule, const std::vector<std::string>& args,
                               int& index);

// A number as the GC's line carries it ("." decimal, whatever the locale); false for text.
bool ParseLineNumber(std::string_view text, double& value);

}  // namespace gc6890
