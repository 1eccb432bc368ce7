#include "method/method_check.h"

#include <cmath>

#include "external/inlet_types.h"
#include "method/section_settings.h"

namespace gc6890 {

namespace {

using K = ParameterKind;

// A value as the download puts it on the line: whole numbers truncated, scaled values
// truncated in their line unit.
double sent(K kind, double value)
{
    const ParameterRule& rule = RuleOf(kind);
    if (rule.integer)
        return std::trunc(value);
    if (rule.lineFactor != 1)
        return std::trunc(value * rule.lineFactor) / rule.lineFactor;
    return value;
}

class Checker {
public:
    Checker(const CHP6890Method& method, const InstalledHardware* hardware)
        : m_(method), hardware_(hardware)
    {}

    std::vector<MethodFinding> run()
    {
        oven();
        cryo();
        for (int n = 1; n <= 2; ++n)
            column(n);
        for (int side = 0; side < 2; ++side)
            inlet(side);
        return std::move(findings_);
    }

private:
    void add(const std::string& key, double value, const RuleBreach& breach)
    {
        if (breach)
            findings_.push_back({key, NumberText(value), breach});
    }
    // A value of a kind: its range.
    void value(const std::string& key, K kind, double raw)
    {
        const double v = sent(kind, raw);
        add(key, v, CheckValue(kind, v));
    }
    // An oven temperature: against the method's maximum first, then its range.
    void ovenPoint(const std::string& key, int point, double raw)
    {
        const double v = sent(K::OvenTemperature, raw);
        const RuleBreach breach = CheckOvenPoint(point, v, maximum_);
        add(key, v, breach ? breach : CheckValue(K::OvenTemperature, v));
    }
    void ramps(const std::string& key, const CRamp* ramps, int count, K rate, K final, bool oven)
    {
        for (int k = 1; k <= count && ramps[k - 1].m_fRate > 0.0f; ++k) {
            const std::string at = key + "[" + std::to_string(k) + "].";
            value(at + "rate", rate, ramps[k - 1].m_fRate);
            if (oven)
                ovenPoint(at + "final", k, ramps[k - 1].m_fFinal);
            else
                value(at + "final", final, ramps[k - 1].m_fFinal);
            value(at + "time", K::Time, ramps[k - 1].m_fTime);
        }
    }

    void oven()
    {
        const COvenProgram& o = m_.m_Oven;
        maximum_ = std::trunc(o.m_fMaxTemperature);
        const int limit =
            hardware_ ? hardware_->ovenMaximum : static_cast<int>(RuleOf(K::OvenTemperature).max);
        add("gc.oven.max_temperature", maximum_, CheckOvenMaximum(maximum_, limit));
        value("gc.oven.equilibration_time", K::Time, o.m_fEquilibrationTime);
        ovenPoint("gc.oven.initial_temperature", 0, o.m_fInitialTemperature);
        value("gc.oven.initial_time", K::Time, o.m_fInitialTime);
        ramps("gc.oven.ramps", o.m_Ramps, COvenProgram::MaxRamps, K::OvenRate, K::OvenTemperature,
              true);
        const CPostRun& p = m_.m_PostRun;
        if (p.m_nEnabled) {
            value("gc.post_run.time", K::Time, p.m_fTime);
            const double post = sent(K::OvenTemperature, p.m_fOvenTemperature);
            const RuleBreach breach = CheckPostTemperature(post, maximum_);
            add("gc.post_run.oven_temperature", post,
                breach ? breach : CheckValue(K::OvenTemperature, post));
        }
    }

    // The oven's cryo on its own, then with the front inlet's when its type sends it.
    void cryo()
    {
        if (!hardware_)
            return;
        const COvenProgram& o = m_.m_Oven;
        CryoRequest request{OvenCryoCode(o.m_nCryoOn, o.m_nCryoType), false, 0};
        if (RuleBreach breach = CheckCryo(request, *hardware_)) {
            add("gc.oven.cryo", o.m_nCryoOn, breach);
            return;
        }
        const InletType* front = FindInletType(m_.m_Inlets[0].m_nType);
        if (!front || front->cryo != InletCryo::FromMethod)
            return;
        const CPTVCryo& c = m_.m_PTVCryo;
        request.inletOn = c.m_nCryoOn != 0;
        request.inletCode = CryoCodeOfCoolant(c.m_nCoolant);
        add("gc.ptv_cryo.cryo_on", c.m_nCryoOn, CheckCryo(request, *hardware_));
    }

    void column(int n)
    {
        const CColumn& c = m_.m_Columns[n - 1];
        if (!c.m_nConfigured)
            return;
        const std::string key = "gc.column" + std::to_string(n);
        if (hardware_) {
            add(key + ".configured", 1, CheckColumnFitted(n, *hardware_));
            if (!epcChecked_)
                add(key + ".configured", 1, CheckEpc(*hardware_));
            epcChecked_ = true;
        }
        const bool flow = ColumnPneumaticModeOf(c.m_nControlMode).flowFlag != 0;
        const K level = flow ? K::Flow : K::Pressure;
        value(key + ".pressure.initial", level, c.m_Pressure.m_fInitialValue);
        value(key + ".pressure.initial_time", K::Time, c.m_Pressure.m_fInitialTime);
        ramps(key + ".pressure.ramps", c.m_Pressure.m_Ramps, CPressure::MaxRamps,
              flow ? K::FlowRate : K::PressureRate, level, false);
        if (m_.m_PostRun.m_nEnabled)
            value("gc.post_run.column_value", level, m_.m_PostRun.m_fColumnValue);
    }

    void inlet(int side)
    {
        const InletType* type = FindInletType(m_.m_Inlets[side].m_nType);
        if (!type || type->keepsGC)
            return;
        const std::string sideKey = side == 0 ? "gc.front_inlet" : "gc.back_inlet";
        if (hardware_) {
            RuleBreach breach = CheckInletFitted(side, *hardware_);
            if (!breach)
                breach = CheckInletCode(side, type->gcInletCode, *hardware_);
            if (breach) {
                add(sideKey + ".type", type->number, breach);
                return;
            }
        }
        const std::string key = (type->perSide ? sideKey : std::string("gc")) + "." + type->name;
        const InletRecordView record = type->record(m_, side);
        if (record.temperature)
            value(key + ".temperature", K::InletTemperature, *record.temperature);
        if (const CInletTempProgram* p = record.program) {
            value(key + ".initial_temperature", K::InletTemperature, p->m_fInitialTemperature);
            value(key + ".initial_time", K::Time, p->m_fInitialTime);
            ramps(key + ".ramps", p->m_Ramps, CInletTempProgram::MaxRamps, K::InletRate,
                  K::InletTemperature, false);
        }
        pneumatics(side, *type, key);
    }

    // The record's values in the inlet pneumatics command, each checked as the kind the
    // rules give its argument under the type's injection mode. The command is the one of
    // the inlet kind the type's code belongs to (split/splitless, PTV).
    void pneumatics(int side, const InletType& type, const std::string& key)
    {
        const std::vector<PneumaticArgument> values = type.pneumatics(m_, side, 0);
        InletKind kind = InletKind::None;
        for (InletKind k : {InletKind::SplitSplitless, InletKind::CoolOnColumn, InletKind::Ptv,
                            InletKind::PurgedPacked})
            if (inletCode(k) == type.gcInletCode)
                kind = k;
        const CommandRule* rule =
            FindCommandRule(std::string(side == 0 ? "IFIF" : "IBIB") + inletPneumatics(kind));
        if (values.empty() || !rule)
            return;
        std::vector<std::string> args = {"0"};  // argument 0 is the GC's
        for (const PneumaticArgument& a : values)
            args.push_back(NumberText(a.factor != 0 ? std::trunc(a.value * a.factor) : a.value));
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i].key)
                value(key + "." + values[i].key, ArgumentKind(*rule, args, i + 1), values[i].value);
    }

    const CHP6890Method& m_;
    const InstalledHardware* hardware_;
    double maximum_ = 0;
    bool epcChecked_ = false;  // the GC's EPC is reported once
    std::vector<MethodFinding> findings_;
};

}  // namespace

std::vector<MethodFinding> CheckMethodRules(const CHP6890Method& method,
                                            const InstalledHardware* hardware)
{
    return Checker(method, hardware).run();
}

}  // namespace gc6890
