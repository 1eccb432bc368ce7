// The inlet type table. Keep docs/method-format.md in step with the records' keys.
#include "external/inlet_types.h"

#include <array>
#include <string>

#include "external/method_schema.h"

namespace gc6890 {
namespace {

const RampInfo kInletRamps{"ramps", "Ramp",         "°C/min",       "°C",
                           720.0,   kLayoutTempMin, kLayoutTempMax, kLayoutTimeMax};

// ---- the records' keys in a method file

void zone(MethodVisitor& v, int& value)
{
    v.flag({"zone_on", "Thermal zone on", "", 0, 1}, value);
}

void temperature(MethodVisitor& v, float& value)
{
    v.real({"temperature", "Temperature", "°C", kLayoutTempMin, kLayoutTempMax}, value);
}

void program(MethodVisitor& v, CInletTempProgram& p)
{
    v.real({"initial_temperature", "Initial temperature", "°C", kLayoutTempMin, kLayoutTempMax},
           p.m_fInitialTemperature);
    v.real({"initial_time", "Initial time", "min", 0, kLayoutTimeMax}, p.m_fInitialTime);
    v.ramps(kInletRamps, p.m_Ramps, CInletTempProgram::MaxRamps);
}

void saver(MethodVisitor& v, int& on, float& flow, float& time)
{
    v.flag({"gas_saver", "Gas saver", "", 0, 1}, on);
    v.real({"saver_flow", "Saver flow", "mL/min", 0, kLayoutFlowMax}, flow);
    v.real({"saver_time", "Saver time", "min", 0, kLayoutTimeMax}, time);
}

void splitRatio(MethodVisitor& v, float& value)
{
    v.real({"split_ratio", "Split ratio", "", 0, 10000}, value);
}

void splitFlow(MethodVisitor& v, float& value)
{
    v.real({"split_flow", "Split flow", "mL/min", 0, kLayoutFlowMax}, value);
}

void purgeFlow(MethodVisitor& v, float& value)
{
    v.real({"purge_flow", "Purge flow", "mL/min", 0, kLayoutFlowMax}, value);
}

void purgeTime(MethodVisitor& v, int& value)
{
    v.integer({"purge_time", "Purge time", "min", 0, 999}, value);
}

void pulse(MethodVisitor& v, CInletPTV& r)
{
    v.real({"pulse_pressure", "Pulse pressure", "psi", 0, kLayoutPneuMax}, r.m_fPulsePressure);
    v.real({"pulse_time", "Pulse time", "min", 0, kLayoutTimeMax}, r.m_fPulseTime);
}

void spare(MethodVisitor& v, float& value)
{
    v.real({"spare", "Spare value", "", -1e6, 1e6}, value);
}

void ptvCommon(MethodVisitor& v, CInletPTV& r)
{
    zone(v, r.m_nZoneOn);
    saver(v, r.m_nGasSaver, r.m_fSaverFlow, r.m_fSaverTime);
    program(v, r.m_Program);
}

// ---- the values sent to the GC

InletRecordView isothermal(int zoneOn, const float& temperature)
{
    return {zoneOn, &temperature, nullptr};
}

InletRecordView ramped(int zoneOn, const CInletTempProgram& program)
{
    return {zoneOn, nullptr, &program};
}

const CInletPTV& ptvRecord(const CHP6890Method& m, int number)
{
    return m.m_PTV[number - 5];
}

// The ramped program of PTV type `number`'s record (types 5 to 8).
template <int number>
InletRecordView ptvProgram(const CHP6890Method& m, int)
{
    const CInletPTV& r = ptvRecord(m, number);
    return ramped(r.m_nZoneOn, r.m_Program);
}

std::vector<PneumaticArgument> keptPneumatics(const CHP6890Method&, int, int)
{
    return {};
}

const InletType kTypes[] = {
    {.number = 0,
     .name = "none",
     .label = "none",
     .keepsGC = true,
     .perSide = true,
     .gcInletCode = 0,
     .program = InletProgramEdit::None,
     .cryo = InletCryo::KeptFromGC,
     .record = [](const CHP6890Method&, int) { return InletRecordView{}; },
     .pneumatics = keptPneumatics,
     .fields = nullptr},
    {.number = 1,
     .name = "split",
     .label = "split",
     .keepsGC = false,
     .perSide = true,
     .gcInletCode = 2,
     .program = InletProgramEdit::Isothermal,
     .cryo = InletCryo::None,
     .record =
         [](const CHP6890Method& m, int side) {
             const CInletSplit& r = m.m_Inlets[side].m_Split;
             return isothermal(r.m_nZoneOn, r.m_fTemperature);
         },
     .pneumatics =
         [](const CHP6890Method& m, int side, int p) {
             const CInletSplit& r = m.m_Inlets[side].m_Split;
             return std::vector<PneumaticArgument>{1,
                                                   double(p),
                                                   {r.m_fSplitFlow, 1000, "split_flow"},
                                                   {r.m_fSplitRatio, 0, "split_ratio"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int side) {
             CInletSplit& r = m.m_Inlets[side].m_Split;
             zone(v, r.m_nZoneOn);
             temperature(v, r.m_fTemperature);
             splitRatio(v, r.m_fSplitRatio);
             splitFlow(v, r.m_fSplitFlow);
         }},
    {.number = 2,
     .name = "splitless",
     .label = "splitless",
     .keepsGC = false,
     .perSide = true,
     .gcInletCode = 2,
     .program = InletProgramEdit::Isothermal,
     .cryo = InletCryo::None,
     .record =
         [](const CHP6890Method& m, int side) {
             const CInletSplitless& r = m.m_Inlets[side].m_Splitless;
             return isothermal(r.m_nZoneOn, r.m_fTemperature);
         },
     .pneumatics =
         [](const CHP6890Method& m, int side, int p) {
             const CInletSplitless& r = m.m_Inlets[side].m_Splitless;
             return std::vector<PneumaticArgument>{
                 0, double(p), {double(r.m_nPurgeTime), 10000, "purge_time"}, 0};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int side) {
             CInletSplitless& r = m.m_Inlets[side].m_Splitless;
             zone(v, r.m_nZoneOn);
             temperature(v, r.m_fTemperature);
             purgeTime(v, r.m_nPurgeTime);
             purgeFlow(v, r.m_fPurgeFlow);
         }},
    {.number = 3,
     .name = "on_column_track",
     .label = "on-column, oven track",
     .keepsGC = false,
     .perSide = true,
     .gcInletCode = 1,
     .program = InletProgramEdit::OvenTrack,
     .cryo = InletCryo::None,
     .record = [](const CHP6890Method& m,
                  int side) { return InletRecordView{m.m_Inlets[side].m_OnColumnTrack.m_nZoneOn}; },
     .pneumatics = keptPneumatics,
     .fields = [](MethodVisitor& v, CHP6890Method& m,
                  int side) { zone(v, m.m_Inlets[side].m_OnColumnTrack.m_nZoneOn); }},
    {.number = 4,
     .name = "on_column_ramp",
     .label = "on-column, ramped",
     .keepsGC = false,
     .perSide = true,
     .gcInletCode = 1,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::None,
     .record =
         [](const CHP6890Method& m, int side) {
             const CInletOnColumn& r = m.m_Inlets[side].m_OnColumnRamp;
             return ramped(r.m_nZoneOn, r.m_Program);
         },
     .pneumatics = keptPneumatics,
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int side) {
             CInletOnColumn& r = m.m_Inlets[side].m_OnColumnRamp;
             zone(v, r.m_nZoneOn);
             program(v, r.m_Program);
         }},
    {.number = 5,
     .name = "ptv_splitless",
     .label = "PTV splitless",
     .keepsGC = false,
     .perSide = false,
     .gcInletCode = 12,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::FromMethod,
     .record = ptvProgram<5>,
     .pneumatics =
         [](const CHP6890Method& m, int, int p) {
             const CInletPTV& r = ptvRecord(m, 5);
             return std::vector<PneumaticArgument>{0,
                                                   double(p),
                                                   {double(r.m_nPurgeTime), 10000, "purge_time"},
                                                   0,
                                                   0,
                                                   0,
                                                   0,
                                                   {r.m_fSaverFlow, 1000, "saver_flow"},
                                                   {r.m_fSaverTime, 0, "saver_time"},
                                                   {double(r.m_nGasSaver), 0, "gas_saver"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int) {
             CInletPTV& r = m.m_PTV[0];
             ptvCommon(v, r);
             purgeTime(v, r.m_nPurgeTime);
         }},
    {.number = 6,
     .name = "ptv_split",
     .label = "PTV split",
     .keepsGC = false,
     .perSide = false,
     .gcInletCode = 12,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::FromMethod,
     .record = ptvProgram<6>,
     .pneumatics =
         [](const CHP6890Method& m, int, int p) {
             const CInletPTV& r = ptvRecord(m, 6);
             return std::vector<PneumaticArgument>{1,
                                                   double(p),
                                                   {r.m_fSplitFlow, 1000, "split_flow"},
                                                   {r.m_fSplitRatio, 0, "split_ratio"},
                                                   0,
                                                   0,
                                                   0,
                                                   {r.m_fSaverFlow, 1000, "saver_flow"},
                                                   {r.m_fSaverTime, 0, "saver_time"},
                                                   {double(r.m_nGasSaver), 0, "gas_saver"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int) {
             CInletPTV& r = m.m_PTV[1];
             ptvCommon(v, r);
             splitRatio(v, r.m_fSplitRatio);
             splitFlow(v, r.m_fSplitFlow);
         }},
    {.number = 7,
     .name = "ptv_pulsed_splitless",
     .label = "PTV pulsed splitless",
     .keepsGC = false,
     .perSide = false,
     .gcInletCode = 12,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::FromMethod,
     .record = ptvProgram<7>,
     .pneumatics =
         [](const CHP6890Method& m, int, int p) {
             const CInletPTV& r = ptvRecord(m, 7);
             return std::vector<PneumaticArgument>{3,
                                                   double(p),
                                                   {double(r.m_nPurgeTime), 10000, "purge_time"},
                                                   0,
                                                   0,
                                                   {r.m_fPulsePressure, 10000, "pulse_pressure"},
                                                   {r.m_fPulseTime, 0, "pulse_time"},
                                                   {r.m_fSaverFlow, 1000, "saver_flow"},
                                                   {r.m_fSaverTime, 0, "saver_time"},
                                                   {double(r.m_nGasSaver), 0, "gas_saver"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int) {
             CInletPTV& r = m.m_PTV[2];
             ptvCommon(v, r);
             pulse(v, r);
             purgeTime(v, r.m_nPurgeTime);
             purgeFlow(v, r.m_fPurgeFlow);
             spare(v, r.m_fSpare);
         }},
    {.number = 8,
     .name = "ptv_pulsed_split",
     .label = "PTV pulsed split",
     .keepsGC = false,
     .perSide = false,
     .gcInletCode = 12,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::FromMethod,
     .record = ptvProgram<8>,
     .pneumatics =
         [](const CHP6890Method& m, int, int p) {
             const CInletPTV& r = ptvRecord(m, 8);
             return std::vector<PneumaticArgument>{2,
                                                   double(p),
                                                   {r.m_fSplitFlow, 1000, "split_flow"},
                                                   {r.m_fSplitRatio, 0, "split_ratio"},
                                                   0,
                                                   {r.m_fPulsePressure, 10000, "pulse_pressure"},
                                                   {r.m_fPulseTime, 0, "pulse_time"},
                                                   {r.m_fSaverFlow, 1000, "saver_flow"},
                                                   {r.m_fSaverTime, 0, "saver_time"},
                                                   {double(r.m_nGasSaver), 0, "gas_saver"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int) {
             CInletPTV& r = m.m_PTV[3];
             ptvCommon(v, r);
             pulse(v, r);
             splitRatio(v, r.m_fSplitRatio);
             splitFlow(v, r.m_fSplitFlow);
             spare(v, r.m_fSpare);
         }},
    {.number = 9,
     .name = "ptv_solvent_vent",
     .label = "PTV solvent vent",
     .keepsGC = false,
     .perSide = false,
     .gcInletCode = 12,
     .program = InletProgramEdit::Ramped,
     .cryo = InletCryo::FromMethod,
     .record =
         [](const CHP6890Method& m, int) {
             const CInletSolventVent& r = m.m_SolventVent;
             return ramped(r.m_nZoneOn, r.m_Program);
         },
     .pneumatics =
         [](const CHP6890Method& m, int, int p) {
             const CInletSolventVent& q = m.m_SolventVent;
             return std::vector<PneumaticArgument>{4,
                                                   double(p),
                                                   {q.m_fVentFlow, 1000, "vent_flow"},
                                                   {q.m_fVentTime, 0, "vent_time"},
                                                   {q.m_fPurgeFlow, 1000, "purge_flow"},
                                                   {q.m_fVentPressure, 10000, "vent_pressure"},
                                                   {q.m_fPurgeTime, 0, "purge_time"},
                                                   {q.m_fSaverFlow, 1000, "saver_flow"},
                                                   {q.m_fSaverTime, 0, "saver_time"},
                                                   {double(q.m_nGasSaver), 0, "gas_saver"}};
         },
     .fields =
         [](MethodVisitor& v, CHP6890Method& m, int) {
             CInletSolventVent& r = m.m_SolventVent;
             zone(v, r.m_nZoneOn);
             saver(v, r.m_nGasSaver, r.m_fSaverFlow, r.m_fSaverTime);
             program(v, r.m_Program);
             v.real({"vent_time", "Vent end time", "min", 0, kLayoutTimeMax}, r.m_fVentTime);
             v.real({"vent_flow", "Vent flow", "mL/min", 0, kLayoutFlowMax}, r.m_fVentFlow);
             v.real({"vent_pressure", "Vent pressure", "psi", 0, kLayoutPneuMax},
                    r.m_fVentPressure);
             purgeFlow(v, r.m_fPurgeFlow);
             v.real({"purge_time", "Purge time", "min", 0, kLayoutTimeMax}, r.m_fPurgeTime);
         }},
};

}  // namespace

std::span<const InletType> InletTypes()
{
    return kTypes;
}

const InletType* FindInletType(int number)
{
    for (const InletType& type : kTypes)
        if (type.number == number)
            return &type;
    return nullptr;
}

const InletType* FindInletType(std::string_view name)
{
    for (const InletType& type : kTypes)
        if (name == std::string_view(type.name))
            return &type;
    return nullptr;
}

}  // namespace gc6890
