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
// the GC says so (26). The inlet pneumatics and detector limits are our assumption too:
// inlet flows to the 1000 mL/min an inlet's total flow reaches, split ratios to 7500,
// pulse and vent pressures to the columns' 150 psi; detectors to 450 C, an FID's flows
// (air to 800, fuel and makeup to 100 mL/min) as the widest any detector takes. Above
// these the GC refuses (1): it clamps ramp rates only.
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
    {K::SplitFlow, "split flow", "mL/min", 0, 1000, false, false, 1000},
    {K::SplitRatio, "split ratio", "", 0, 7500, false, false, 1},
    {K::PurgeFlow, "purge flow", "mL/min", 0, 1000, false, false, 1000},
    {K::PurgeTime, "purge time", "min", 0, 999.99, false, false, 10000},
    {K::SaverFlow, "gas saver flow", "mL/min", 0, 1000, false, false, 1000},
    {K::VentFlow, "vent flow", "mL/min", 0, 1000, false, false, 1000},
    {K::PulsePressure, "pulse pressure", "psi", 0, 150, false, false, 10000},
    {K::VentPressure, "vent pressure", "psi", 0, 150, false, false, 10000},
    {K::DetectorTemperature, "detector temperature", "C", 0, 450, true, false, 1},
    {K::AirFlow, "detector air flow", "mL/min", 0, 800, false, false, 1},
    {K::FuelFlow, "detector fuel flow", "mL/min", 0, 100, false, false, 1},
    {K::MakeupFlow, "detector makeup flow", "mL/min", 0, 100, false, false, 1},
};

std::string limitText(double value, const ParameterRule& rule)
{
    return NumberText(value) + (*rule.unit ? std::string(" ") + rule.unit : std::string());
}

std::vector<CommandRule> makeCommandRules()
{
    std::vector<CommandRule> rules;
    auto add = [&](std::string head, bool workfile, bool required, int count = 0,
                   std::vector<K> kinds = {}) -> CommandRule& {
        rules.push_back({std::move(head), workfile, required, count, std::move(kinds), -1, {}});
        return rules.back();
    };
    const std::vector<K> inletProgram = {
        K::Any,       K::InletTemperature, K::Time, K::InletRate, K::InletTemperature, K::Time,
        K::InletRate, K::InletTemperature, K::Time, K::InletRate, K::InletTemperature, K::Time};
    std::vector<K> ovenProgram = {K::OvenTemperature, K::Time};
    for (int k = 0; k < 6; ++k)
        ovenProgram.insert(ovenProgram.end(), {K::OvenRate, K::OvenTemperature, K::Time});
    // A column's program by its flow flag (argument 3): 0 pressures, 1 flows.
    std::vector<K> pressures = {K::Any, K::Any, K::Any, K::Any, K::Pressure, K::Time};
    std::vector<K> flows = {K::Any, K::Any, K::Any, K::Any, K::Flow, K::Time};
    for (int k = 0; k < 3; ++k) {
        pressures.insert(pressures.end(), {K::PressureRate, K::Pressure, K::Time});
        flows.insert(flows.end(), {K::FlowRate, K::Flow, K::Time});
    }
    pressures.push_back(K::Pressure);
    flows.push_back(K::Flow);
    // The inlet pneumatics by the injection mode (argument 1), as the download writes them:
    // argument 2 the inlet's pressure; a PTV's arguments 3 to 7 by its mode, then its gas
    // saver's flow, time and switch.
    const std::vector<K> pneumatic = {K::Any, K::Any, K::Pressure};
    auto with = [&](std::initializer_list<K> rest) {
        std::vector<K> kinds = pneumatic;
        kinds.insert(kinds.end(), rest);
        return kinds;
    };
    auto ptv = [&](std::initializer_list<K> modeArguments) {
        std::vector<K> kinds = with(modeArguments);
        kinds.insert(kinds.end(), {K::SaverFlow, K::Time, K::Flag});
        return kinds;
    };
    const std::vector<std::vector<K>> splitSplitlessModes = {
        with({K::PurgeTime}),                 // 0 splitless
        with({K::SplitFlow, K::SplitRatio}),  // 1 split
    };
    const std::vector<std::vector<K>> ptvModes = {
        ptv({K::PurgeTime, K::Any, K::Any, K::Any, K::Any}),                    // 0 splitless
        ptv({K::SplitFlow, K::SplitRatio, K::Any, K::Any, K::Any}),             // 1 split
        ptv({K::SplitFlow, K::SplitRatio, K::Any, K::PulsePressure, K::Time}),  // 2 pulsed split
        ptv({K::PurgeTime, K::Any, K::Any, K::PulsePressure, K::Time}),       // 3 pulsed splitless
        ptv({K::VentFlow, K::Time, K::PurgeFlow, K::VentPressure, K::Time}),  // 4 solvent vent
    };

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
        CommandRule& splitSplitless = add(s + "SP", false, false, 11, pneumatic);
        splitSplitless.modeArgument = 1;
        splitSplitless.modes = splitSplitlessModes;
        CommandRule& ptvPneumatics = add(s + "GV", false, false, 11, pneumatic);
        ptvPneumatics.modeArgument = 1;
        ptvPneumatics.modes = ptvModes;
        add(s + "CP", false, false, 3, pneumatic);
        add(s + "GP", false, false, 3, pneumatic);
    }
    add("IFIFCR", false, false, 7,
        {K::Flag, K::Any, K::Flag, K::InletTemperature, K::Time, K::Flag, K::Flag});
    for (const char* head : {"C1C1NR", "C2C2NR"}) {
        CommandRule& column = add(head, false, false, 16, pressures);
        column.modeArgument = 3;
        column.modes = {pressures, flows};
    }
    // The detectors: temperature, the flows of air, fuel and makeup, the makeup gas's.
    for (const char* side : {"DF", "DB"}) {
        const std::string s = std::string(side) + side;
        add(s + "TR", false, false, 1, {K::DetectorTemperature});
        add(s + "TZ", false, false, 1, {K::Flag});
        add(s + "NZ", false, true, 1, {K::Flag});
        add(s + "FI", false, false, 3, {K::AirFlow, K::FuelFlow, K::MakeupFlow});
        add(s + "MF", false, false, 3, {K::Any, K::Any, K::MakeupFlow});
    }
    for (const char* head : {"A3A3NZ", "A4A4NZ", "A5A5NZ"})
        add(head, false, false, 1, {K::Flag});
    add("IFIFNZ", false, true, 1, {K::Flag});
    add("IBIBNZ", false, true, 1, {K::Flag});
    for (const char* head :
         {"CCCCC1", "CCCCC2", "S1S1CS", "S1S1CA", "S1S1ZA", "S2S2CS", "S2S2CA", "S2S2ZA"})
        add(head, false, true);
    return rules;
}

// The kinds of a command's arguments once its mode is known.
const std::vector<K>& kindsOf(const CommandRule& rule, const std::vector<std::string>& args)
{
    double mode = -1;
    if (rule.modeArgument >= 0 && static_cast<std::size_t>(rule.modeArgument) < args.size() &&
        ParseLineNumber(args[static_cast<std::size_t>(rule.modeArgument)], mode) && mode >= 0 &&
        mode < static_cast<double>(rule.modes.size()) && mode == std::trunc(mode))
        return rule.modes[static_cast<std::size_t>(mode)];
    return rule.arguments;
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

std::string NumberText(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
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
            what + " above the oven maximum " + NumberText(maximum)};
}

RuleBreach CheckPostTemperature(double temperature, double maximum)
{
    if (temperature <= maximum)
        return {};
    return {kRulePostAboveMaximum,
            "post-run temperature above the oven maximum " + NumberText(maximum)};
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
    if (kind != InletKind::None && in(kInletPneumatics) &&
        operation != std::string_view(inletPneumatics(kind)))
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

ParameterKind ArgumentKind(const CommandRule& rule, const std::vector<std::string>& args,
                           std::size_t index)
{
    const std::vector<K>& kinds = kindsOf(rule, args);
    return index < kinds.size() ? kinds[index] : K::Any;
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
    const std::vector<K>& kinds = kindsOf(rule, args);
    for (std::size_t i = 0; i < kinds.size() && i < args.size(); ++i) {
        const ParameterRule& kind = RuleOf(kinds[i]);
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
    const std::vector<K>& kinds = kindsOf(rule, args);
    for (std::size_t i = 0; i < kinds.size() && i < args.size(); ++i) {
        const ParameterRule& kind = RuleOf(kinds[i]);
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
