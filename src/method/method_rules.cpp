// The method rules. Keep the ranges table of docs/simulator.md in step with kParameters.
#include "method/method_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace gc6890 {

namespace {

using K = ParameterKind;

// The GC's documented limits where we know them (oven to 450 C, at most 120 C/min; inlets
// to 450 C); the rest are our assumption: cryo lows of -80 C (oven, liquid nitrogen) and
// -160 C (a PTV inlet), PTV ramps to 720 C/min, column pressures to 150 psi and flows to
// 1000 mL/min, times to 999.99 min. Ramp rates above the limit are run at the limit, and
// the GC says so (26).
constexpr ParameterRule kParameters[] = {
    {K::Any, "value", "", -1e300, 1e300, false, false, 1},
    {K::Flag, "switch", "", 0, 1, true, false, 1},
    {K::OvenTemperature, "oven temperature", "C", -80, 450, true, false, 1},
    {K::OvenRate, "oven ramp rate", "C/min", 0, 120, false, true, 1},
    {K::InletTemperature, "inlet temperature", "C", -160, 450, true, false, 1},
    {K::InletRate, "inlet ramp rate", "C/min", 0, 720, false, true, 1},
    {K::Time, "time", "min", 0, 999.99, false, false, 1},
    {K::Pressure, "column pressure", "psi", 0, 150, false, false, 10000},
    {K::PressureRate, "column pressure rate", "psi/min", 0, 150, false, true, 10000},
    {K::Flow, "column flow", "mL/min", 0, 1000, false, false, 1000},
    {K::FlowRate, "column flow rate", "mL/min/min", 0, 1000, false, true, 1000},
};

// The shortest text that reads back as the value, "." whatever the locale.
std::string number(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string limitText(double value, const ParameterRule& rule)
{
    return number(value) + (*rule.unit ? std::string(" ") + rule.unit : std::string());
}

std::vector<CommandRule> makeCommandRules()
{
    std::vector<CommandRule> rules;
    auto add = [&](std::string head, bool workfile, bool required, int count = 0,
                   std::vector<K> kinds = {}, int flowFlag = -1) {
        rules.push_back({nullptr, workfile, required, count, std::move(kinds), flowFlag});
        static std::vector<std::string> names;  // the heads live as long as the table
        names.reserve(64);
        names.push_back(std::move(head));
        rules.back().head = names.back().c_str();
    };
    const std::vector<K> inletProgram = {
        K::Any,       K::InletTemperature, K::Time, K::InletRate, K::InletTemperature, K::Time,
        K::InletRate, K::InletTemperature, K::Time, K::InletRate, K::InletTemperature, K::Time};
    std::vector<K> ovenProgram = {K::OvenTemperature, K::Time};
    for (int k = 0; k < 6; ++k)
        ovenProgram.insert(ovenProgram.end(), {K::OvenRate, K::OvenTemperature, K::Time});
    std::vector<K> column = {K::Any, K::Any, K::Any, K::Any, K::Pressure, K::Time};
    for (int k = 0; k < 3; ++k)
        column.insert(column.end(), {K::PressureRate, K::Pressure, K::Time});
    column.push_back(K::Pressure);

    add("CCCCIW", true, true);
    for (const char* side : {"IF", "IB"})
        add(std::string(side) + side + "CW", true, true, 7);
    for (const char* head : {"DFDFCW", "DBDBCW", "C1C1CW", "C2C2CW"})
        add(head, true, true);
    for (int n = 1; n <= 5; ++n)
        add(std::string{'A', char('0' + n), 'A', char('0' + n), 'C', 'W'}, true, true);
    for (int n = 1; n <= 8; ++n)
        add(std::string{'V', char('0' + n), 'V', char('0' + n), 'C', 'W'}, true, true);
    add("OVOVCW", true, true, 4);
    add("GCGCCW", true, true);

    add("OVOVTR", false, true, 20, ovenProgram);
    add("OVOVTZ", false, false, 1, {K::Flag});
    add("OVOVSP", false, false, 1, {K::Time});
    add("GCGCPO", false, false, 2, {K::Time, K::OvenTemperature});
    for (const char* side : {"IF", "IB"}) {
        const std::string s = std::string(side) + side;
        add(s + "TR", false, false, 12, inletProgram);
        add(s + "TZ", false, false, 1, {K::Flag});
        // The pneumatics: argument 1 the mode, 2 the inlet's pressure.
        add(s + "SP", false, false, 11, {K::Any, K::Any, K::Pressure});
        add(s + "GV", false, false, 11, {K::Any, K::Any, K::Pressure});
        add(s + "CP", false, false, 3, {K::Any, K::Any, K::Pressure});
        add(s + "GP", false, false, 3, {K::Any, K::Any, K::Pressure});
    }
    add("IFIFCR", false, false, 7,
        {K::Flag, K::Any, K::Flag, K::InletTemperature, K::Time, K::Flag, K::Flag});
    add("C1C1NR", false, false, 16, column, 3);
    add("C2C2NR", false, false, 16, column, 3);
    for (const char* head : {"DFDFNZ", "DBDBNZ"})
        add(head, false, true);
    add("IFIFNZ", false, true, 1, {K::Flag});
    add("IBIBNZ", false, true, 1, {K::Flag});
    for (const char* head :
         {"CCCCC1", "CCCCC2", "S1S1CS", "S1S1CA", "S1S1ZA", "S2S2CS", "S2S2CA", "S2S2ZA"})
        add(head, false, true);
    return rules;
}

// A column command's kind once its flow flag is known.
K resolved(K kind, bool flow)
{
    if (!flow)
        return kind;
    return kind == K::Pressure ? K::Flow : kind == K::PressureRate ? K::FlowRate : kind;
}

// The operations an inlet answers for itself (after "IFIF"/"IBIB"), and its kinds'
// pneumatics commands.
constexpr std::string_view kInletOperations[] = {"RC", "TR", "TZ", "CR", "SP", "CP", "GV", "GP"};
constexpr std::string_view kInletPneumatics[] = {"SP", "CP", "GV", "GP"};

const char* sideName(int side)
{
    return side == 0 ? "front" : "back";
}

}  // namespace

std::span<const ParameterRule> ParameterRules()
{
    return kParameters;
}

const ParameterRule& RuleOf(ParameterKind kind)
{
    for (const ParameterRule& rule : kParameters)
        if (rule.kind == kind)
            return rule;
    return kParameters[0];
}

RuleBreach CheckValue(ParameterKind kind, double value)
{
    const ParameterRule& rule = RuleOf(kind);
    if (value > rule.max)
        return {rule.clamps ? kRuleAltered : kRuleTooLarge,
                std::string(rule.name) + " above " + limitText(rule.max, rule) +
                    (rule.clamps ? ", run at " + limitText(rule.max, rule) : "")};
    if (value < rule.min)
        return {kRuleTooSmall, std::string(rule.name) + " below " + limitText(rule.min, rule)};
    return {};
}

RuleBreach CheckOvenMaximum(double maximum, int installedLimit)
{
    if (maximum > installedLimit)
        return {kRuleOvenMaximum,
                "oven maximum above the installed " + std::to_string(installedLimit)};
    return {};
}

RuleBreach CheckOvenPoint(int point, double temperature, double maximum)
{
    if (temperature <= maximum)
        return {};
    const std::string what =
        point == 0 ? "initial temperature" : "ramp " + std::to_string(point) + " end";
    return {kRuleInitialOvenAboveMaximum + point,
            what + " above the oven maximum " + number(maximum)};
}

RuleBreach CheckPostTemperature(double temperature, double maximum)
{
    if (temperature <= maximum)
        return {};
    return {kRulePostAboveMaximum,
            "post-run temperature above the oven maximum " + number(maximum)};
}

int CryoCodeOfCoolant(int coolant)
{
    return coolant == 0 ? 1 : 2;
}

RuleBreach CheckCryo(const CryoRequest& request, const InstalledHardware& hardware)
{
    auto name = [](int code) {
        return code >= 0 && code < 3 ? std::string(kCryoNames[code]) : std::to_string(code);
    };
    if (request.ovenCode != 0 && hardware.ovenCryo == 0 && hardware.inlets[0].cryo)
        return {kRuleCryoValveInUse, "oven cryo asked, the cryo valve drive is the front inlet's"};
    if (request.ovenCode != 0 && request.ovenCode != hardware.ovenCryo)
        return {kRuleCryoUnsupported, "oven cryo " + name(request.ovenCode) +
                                          " asked, the oven's cryo is " + name(hardware.ovenCryo)};
    if (request.inletOn && !hardware.inlets[0].cryo)
        return {kRuleCryoUnsupported, "front inlet cryo asked, the inlet has none fitted"};
    if (request.inletOn && request.ovenCode != 0 && request.inletCode != request.ovenCode)
        return {kRuleCryoOtherType, "front inlet cryo " + name(request.inletCode) +
                                        " asked, the oven uses " + name(request.ovenCode)};
    return {};
}

RuleBreach CheckInletFitted(int side, const InstalledHardware& hardware)
{
    if (hardware.inlets[side].kind == InletKind::None)
        return {kRuleNotInstalled, std::string("no inlet installed at the ") + sideName(side)};
    return {};
}

RuleBreach CheckInletCode(int side, int gcInletCode, const InstalledHardware& hardware)
{
    const InletKind kind = hardware.inlets[side].kind;
    if (kind != InletKind::None && gcInletCode != inletCode(kind))
        return {kRuleNotCompatible, "inlet code " + std::to_string(gcInletCode) +
                                        " is not the installed " +
                                        kInletKindNames[static_cast<int>(kind)] + " inlet's " +
                                        std::to_string(inletCode(kind))};
    return {};
}

RuleBreach CheckInletCommand(int side, std::string_view operation,
                             const InstalledHardware& hardware)
{
    const InletKind kind = hardware.inlets[side].kind;
    auto in = [&](auto& list) {
        return std::find(std::begin(list), std::end(list), operation) != std::end(list);
    };
    if (kind == InletKind::None && in(kInletOperations))
        return CheckInletFitted(side, hardware);
    if (kind != InletKind::None && in(kInletPneumatics) && operation != inletPneumatics(kind))
        return {kRuleNotCompatible, std::string("the installed ") + sideName(side) + " inlet is " +
                                        kInletKindNames[static_cast<int>(kind)]};
    return {};
}

RuleBreach CheckColumnFitted(int column, const InstalledHardware& hardware)
{
    if (!hardware.columns[column - 1].installed)
        return {kRuleNotInstalled, "column " + std::to_string(column) + " is not installed"};
    return {};
}

RuleBreach CheckEpc(const InstalledHardware& hardware)
{
    if (!hardware.epc())
        return {kRuleNotCompatible, "the GC has no EPC on every column"};
    return {};
}

RuleBreach CheckRunState(int runState)
{
    if (runState == 2)
        return {kRuleWhileRunning, "the GC is running"};
    return {};
}

std::span<const CommandRule> CommandRules()
{
    static const std::vector<CommandRule> rules = makeCommandRules();
    return rules;
}

const CommandRule* FindCommandRule(std::string_view head)
{
    for (const CommandRule& rule : CommandRules())
        if (head == rule.head)
            return &rule;
    return nullptr;
}

bool ParseLineNumber(std::string_view text, double& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

RuleBreach CheckArgumentShape(const CommandRule& rule, const std::vector<std::string>& args,
                              int& index)
{
    index = 0;
    if (rule.maxArguments > 0 && static_cast<int>(args.size()) > rule.maxArguments) {
        index = rule.maxArguments;
        return {kRuleTooManyArguments, std::to_string(args.size()) + " arguments, it takes " +
                                           std::to_string(rule.maxArguments)};
    }
    for (std::size_t i = 0; i < rule.arguments.size() && i < args.size(); ++i) {
        const ParameterRule& kind = RuleOf(rule.arguments[i]);
        if (kind.kind == K::Any)
            continue;
        double value = 0;
        index = static_cast<int>(i);
        if (!ParseLineNumber(args[i], value))
            return {kRuleWrongType, "argument " + std::to_string(i) + " \"" + args[i] +
                                        "\" is not a number (" + kind.name + ")"};
        if (kind.integer && value != std::trunc(value))
            return {kRuleWrongType, "argument " + std::to_string(i) + " " + args[i] +
                                        " is not a whole number (" + kind.name + ")"};
    }
    index = 0;
    return {};
}

RuleBreach CheckArgumentValues(const CommandRule& rule, const std::vector<std::string>& args,
                               int& index)
{
    double flag = 0;
    const bool flow =
        rule.flowFlagArgument >= 0 && rule.flowFlagArgument < static_cast<int>(args.size()) &&
        ParseLineNumber(args[static_cast<std::size_t>(rule.flowFlagArgument)], flag) && flag != 0;
    for (std::size_t i = 0; i < rule.arguments.size() && i < args.size(); ++i) {
        const ParameterRule& kind = RuleOf(resolved(rule.arguments[i], flow));
        double value = 0;
        if (kind.kind == K::Any || !ParseLineNumber(args[i], value))
            continue;
        if (RuleBreach breach = CheckValue(kind.kind, value / kind.lineFactor)) {
            index = static_cast<int>(i);
            breach.rule = "argument " + std::to_string(i) + ": " + breach.rule;
            return breach;
        }
    }
    index = 0;
    return {};
}

}  // namespace gc6890
