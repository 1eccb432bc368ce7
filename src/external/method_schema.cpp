// The layout of a method file. Keep docs/method-format.md in step with this file.
#include "external/method_schema.h"

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "external/inlet_types.h"

namespace gc6890 {
namespace {

const RampInfo kOvenRamps{"ramps", "Ramp",         "°C/min",       "°C",
                          120.0,   kLayoutTempMin, kLayoutTempMax, kLayoutTimeMax};
const RampInfo kPressureRamps{"ramps",        "Ramp", "psi/min",      "psi",
                              kLayoutPneuMax, 0.0,    kLayoutPneuMax, kLayoutTimeMax};
const RampInfo kFlowRamps{"ramps",        "Ramp", "mL/min/min",   "mL/min",
                          kLayoutPneuMax, 0.0,    kLayoutPneuMax, kLayoutTimeMax};

const ChoiceInfo kColumnInlets[] = {
    {"front", CColumn::FrontInlet}, {"back", CColumn::BackInlet}, {"none", CColumn::NoInlet}};

// The inlet types' words, from the inlet type table.
const std::vector<ChoiceInfo>& inletTypeChoices()
{
    static const std::vector<ChoiceInfo> choices = [] {
        std::vector<ChoiceInfo> all;
        for (const InletType& type : InletTypes())
            all.push_back({type.name, type.number});
        return all;
    }();
    return choices;
}

// Whether a type's record is what an inlet runs: a side's own type, or for the records both
// sides share, either side's.
bool recordInUse(const CHP6890Method& m, const InletType& type, int side)
{
    if (type.perSide)
        return m.m_Inlets[side].m_nType == type.number;
    return m.m_Inlets[CHP6890Method::Front].m_nType == type.number ||
           m.m_Inlets[CHP6890Method::Back].m_nType == type.number;
}

// The records of the inlet types, from the inlet type table: types with one record per
// side below each side's table, the others below "gc".
void inletRecords(MethodVisitor& v, CHP6890Method& m, bool perSide, int side)
{
    for (const InletType& type : InletTypes()) {
        if (!type.fields || type.perSide != perSide)
            continue;
        if (v.inUseOnly() && !recordInUse(m, type, side))
            continue;
        if (v.enter(type.name, type.label, false)) {
            type.fields(v, m, side);
            v.leave();
        }
    }
}

void inletSide(MethodVisitor& v, const char* key, const char* title, CHP6890Method& m, int side)
{
    if (!v.enter(key, title, false))
        return;
    const auto& types = inletTypeChoices();
    v.choice({"type", "Inlet type", "", 0, static_cast<double>(types.size() - 1)},
             m.m_Inlets[side].m_nType, types.data(), static_cast<int>(types.size()));
    inletRecords(v, m, true, side);
    v.leave();
}

void ptv(MethodVisitor& v, CHP6890Method& m)
{
    inletRecords(v, m, false, CHP6890Method::Front);
    // The download sends the PTV cryo settings only for a PTV mode at the front.
    const InletType* front = FindInletType(m.m_Inlets[CHP6890Method::Front].m_nType);
    if (v.inUseOnly() && !(front && front->cryo == InletCryo::FromMethod))
        return;
    if (v.enter("ptv_cryo", "PTV cryo", false)) {
        CPTVCryo& c = m.m_PTVCryo;
        v.flag({"cryo_on", "Cryo", "", 0, 1}, c.m_nCryoOn);
        v.choice({"coolant", "Coolant", "", 0, 1}, c.m_nCoolant, kCoolantChoices,
                 std::size(kCoolantChoices));
        v.flag({"fault_detection", "Cryo fault detection", "", 0, 1}, c.m_nFaultDetection);
        v.real({"use_temperature", "Use cryo below", "°C", kLayoutTempMin, kLayoutTempMax},
               c.m_fUseTemperature);
        v.real({"timeout", "Cryo timeout", "min", 0, kLayoutTimeMax}, c.m_fTimeout);
        v.flag({"timeout_enabled", "Cryo timeout enabled", "", 0, 1}, c.m_nTimeoutEnabled);
        v.flag({"quick_cool", "Quick cool", "", 0, 1}, c.m_nQuickCool);
        v.leave();
    }
}

void column(MethodVisitor& v, const char* key, const char* title, CColumn& c)
{
    if (!v.enter(key, title, false))
        return;
    // A column written in the file is in use unless it says otherwise.
    if (v.loading())
        c.m_nConfigured = 1;
    v.flag({"configured", "Configured", "", 0, 1}, c.m_nConfigured);
    if (v.inUseOnly() && !c.m_nConfigured) {
        v.leave();
        return;
    }
    v.real({"length", "Length", "m", 0, 200}, c.m_fLength);
    v.real({"diameter", "Diameter", "µm", 0, 1000}, c.m_fDiameter);
    v.real({"film_thickness", "Film thickness", "µm", 0, 100}, c.m_fFilmThickness);
    v.choice({"carrier_gas", "Carrier gas", "", 1, 4}, c.m_nCarrierGas, kCarrierGasChoices,
             std::size(kCarrierGasChoices));
    v.choice({"control_mode", "Control mode", "", 1, 4}, c.m_nControlMode, kControlModeChoices,
             std::size(kControlModeChoices));
    v.choice({"inlet", "Inlet", "", 0, 0}, c.m_nInlet, kColumnInlets, 3);
    if (v.enter("pressure", "program", false)) {
        const bool flow = c.m_nControlMode >= 3;
        v.real({"initial", "Initial value", columnValueUnit(c.m_nControlMode), 0, kLayoutPneuMax},
               c.m_Pressure.m_fInitialValue);
        v.real({"initial_time", "Initial time", "min", 0, kLayoutTimeMax},
               c.m_Pressure.m_fInitialTime);
        v.ramps(flow ? kFlowRamps : kPressureRamps, c.m_Pressure.m_Ramps, CPressure::MaxRamps);
        v.leave();
    }
    v.leave();
}

void oven(MethodVisitor& v, COvenProgram& o)
{
    if (!v.enter("oven", "Oven", true))
        return;
    v.real({"max_temperature", "Maximum temperature", "°C", kLayoutTempMin, kLayoutTempMax},
           o.m_fMaxTemperature);
    v.real({"equilibration_time", "Equilibration time", "min", 0, kLayoutTimeMax},
           o.m_fEquilibrationTime);
    v.real({"initial_temperature", "Initial temperature", "°C", kLayoutTempMin, kLayoutTempMax},
           o.m_fInitialTemperature);
    v.real({"initial_time", "Initial time", "min", 0, kLayoutTimeMax}, o.m_fInitialTime);
    v.ramps(kOvenRamps, o.m_Ramps, COvenProgram::MaxRamps);
    v.flag({"cryo", "Cryo", "", 0, 1}, o.m_nCryoOn);
    v.real({"cryo_use_temperature", "Use cryo below", "°C", kLayoutTempMin, kLayoutTempMax},
           o.m_fCryoUseTemperature);
    v.flag({"cryo_quick_cool", "Quick cool", "", 0, 1}, o.m_nCryoQuickCool);
    v.flag({"cryo_fault", "Cryo fault detection", "", 0, 1}, o.m_nCryoFault);
    v.flag({"cryo_timeout_enabled", "Cryo timeout enabled", "", 0, 1}, o.m_nCryoTimeoutEnabled);
    v.real({"cryo_timeout", "Cryo timeout", "min", 0, kLayoutTimeMax}, o.m_fCryoTimeout);
    v.choice({"cryo_type", "Cryo type", "", 0, 1}, o.m_nCryoType, kCoolantChoices,
             std::size(kCoolantChoices));
    v.leave();
}

}  // namespace

const char* columnValueUnit(int controlMode)
{
    return controlMode >= 3 ? "mL/min" : "psi";
}

void describeGC(MethodVisitor& v, CHP6890Method& m)
{
    if (!v.enter("gc", "GC", true))
        return;
    v.real({"run_length", "Run length (0: oven program)", "min", 0, 9999}, m.m_dRunLength);
    oven(v, m.m_Oven);
    column(v, "column1", "Column 1", m.m_Columns[0]);
    column(v, "column2", "Column 2", m.m_Columns[1]);
    inletSide(v, "front_inlet", "Front inlet", m, CHP6890Method::Front);
    inletSide(v, "back_inlet", "Back inlet", m, CHP6890Method::Back);
    ptv(v, m);
    if (v.enter("post_run", "Post-run", false)) {
        CPostRun& p = m.m_PostRun;
        v.flag({"enabled", "Enabled", "", 0, 1}, p.m_nEnabled);
        v.real({"time", "Time", "min", 0, kLayoutTimeMax}, p.m_fTime);
        v.real({"oven_temperature", "Oven temperature", "°C", kLayoutTempMin, kLayoutTempMax},
               p.m_fOvenTemperature);
        // Both columns get the value; its unit is that of the first column in use.
        const CColumn& first = m.m_Columns[0].m_nConfigured ? m.m_Columns[0] : m.m_Columns[1];
        v.real({"column_value", "Column pressure or flow", columnValueUnit(first.m_nControlMode), 0,
                kLayoutPneuMax},
               p.m_fColumnValue);
        v.leave();
    }
    v.leave();
}

void describeALS(MethodVisitor& v, CALS6890Method& m)
{
    if (!v.enter("sampler", "Sampler", true))
        return;
    CALSStatus& s = m.m_Status;
    v.integer({"first_vial", "First Vial", "", 1, 10000}, s.m_nFirstVial);
    v.flag({"offset_back_vials", "Offset Back Vials", "", 0, 1}, s.m_nOffsetBackVials);
    v.integer({"trailer_value", "Set-point Trailer", "", 0, 9999}, s.m_nTrailerValue);
    v.flag({"front_injector", "Front Injector", "", 0, 1}, s.m_nFrontInjector);
    v.flag({"back_injector", "Back Injector", "", 0, 1}, s.m_nBackInjector);
    v.flag({"both_injectors", "Both Injectors", "", 0, 1}, s.m_nBothInjectors);
    if (v.enter("injection", "HP6890 Autosampler Injector", false)) {
        CALSInjection& i = m.m_Injection;
        v.integer({"volume", "Injection Volume(%)", "", 1, 100}, i.m_nVolume);
        v.integer({"solvent_a_prewashes", "Solvent A Pre-Washes", "", 0, 15},
                  i.m_nSolventAPreWashes);
        v.integer({"solvent_b_prewashes", "Solvent B Pre-Washes", "", 0, 15},
                  i.m_nSolventBPreWashes);
        v.integer({"sample_washes", "Sample Washes", "", 0, 15}, i.m_nSampleWashes);
        v.integer({"solvent_a_washes", "Solvent A Washes", "", 0, 15}, i.m_nSolventAWashes);
        v.integer({"solvent_b_washes", "Solvent B Washes", "", 0, 15}, i.m_nSolventBWashes);
        v.leave();
    }
    if (v.enter("syringe", "HP6890 Autosampler Syringe", false)) {
        CALSSyringe& y = m.m_Syringe;
        v.flag({"slow_plunger", "Slow Plunger", "", 0, 1}, y.m_nSlowPlunger);
        v.integer({"sample_pumps", "Sample Pumps", "", 0, 15}, y.m_nSamplePumps);
        v.integer({"sampling_offset", "Sampling Offset(mm)", "mm", 0, 30}, y.m_nSamplingOffset);
        v.integer({"syringe_size", "Syringe Size(uL)", "µL", 1, 500}, y.m_nSyringeSize);
        v.integer({"viscosity_delay", "Viscosity Delay(s)", "s", 0, 60}, y.m_nViscosityDelay);
        v.real({"pre_dwell_time", "Pre Dwell Time(min)", "min", 0, 10}, y.m_fPreDwellTime);
        v.real({"post_dwell_time", "Post Dwell Time(min)", "min", 0, 10}, y.m_fPostDwellTime);
        v.leave();
    }
    v.leave();
}

namespace {
template <typename T>
std::string shortest(T value)
{
    // Fixed notation with the fewest decimals that read back as the same value.
    for (int decimals = 0; decimals <= 20; ++decimals) {
        std::string text = format("%.*f", decimals, static_cast<double>(value));
        if (static_cast<T>(parseDouble(text.c_str())) == value)
            return decimals == 0 ? text + ".0" : text;
    }
    return format("%.17g", static_cast<double>(value));
}
}  // namespace

std::string formatFloat(float value)
{
    return shortest(value);
}

std::string formatDouble(double value)
{
    return shortest(value);
}

}  // namespace gc6890
