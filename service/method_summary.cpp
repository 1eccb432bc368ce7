#include "service/method_summary.h"

#include <cmath>

#include "external/inlet_types.h"
#include "external/method_file_toml.h"
#include "external/method_schema.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {

using nlohmann::json;

// The oven's temperature at each corner of its program: the initial hold, then each
// ramp's climb and hold, as the GC runs it (a ramp with no rate ends the program).
json ovenPoints(const COvenProgram& oven)
{
    double minutes = oven.m_fInitialTime;
    double temperature = oven.m_fInitialTemperature;
    json points = json::array({{0.0, temperature}, {minutes, temperature}});
    for (const CRamp& ramp : oven.m_Ramps) {
        if (!(ramp.m_fRate > 0.0f))
            break;
        minutes += std::fabs(ramp.m_fFinal - temperature) / ramp.m_fRate;
        temperature = ramp.m_fFinal;
        points.push_back({minutes, temperature});
        if (ramp.m_fTime > 0.0f) {
            minutes += ramp.m_fTime;
            points.push_back({minutes, temperature});
        }
    }
    return points;
}

template <std::size_t N>
std::string wordOf(const ChoiceInfo (&choices)[N], int value)
{
    const char* word = choiceWord(choices, value);
    return word ? word : std::to_string(value);
}

const char* sideName(int inlet)
{
    return inlet == CColumn::FrontInlet ? "front" : inlet == CColumn::BackInlet ? "back" : "none";
}

}  // namespace

std::optional<json> methodSummary(const std::string& text, const std::string& fileName)
{
    CHP6890Method gc;
    CALS6890Method als;
    std::string error;
    if (!readMethodToml(text, fileName, gc, als, error))
        return std::nullopt;
    json inlets = json::array();
    for (int side : {CHP6890Method::Front, CHP6890Method::Back}) {
        const int type = gc.m_Inlets[side].m_nType;
        const InletType* row = FindInletType(type);
        if (type == 0 || !row)
            continue;  // the GC keeps its own settings for that inlet
        inlets.push_back({{"side", side == CHP6890Method::Front ? "front" : "back"},
                          {"type", type},
                          {"name", row->name},
                          {"label", row->label},
                          {"zone_on", gc.GetInletZoneOn(side) != 0}});
    }
    json columns = json::array();
    for (int i = 0; i < 2; ++i) {
        const CColumn& column = gc.m_Columns[i];
        if (!column.m_nConfigured)
            continue;
        columns.push_back({{"column", i + 1},
                           {"inlet", sideName(column.m_nInlet)},
                           {"length_m", tidyReading(column.m_fLength)},
                           {"diameter_um", tidyReading(column.m_fDiameter)},
                           {"film_um", tidyReading(column.m_fFilmThickness)},
                           {"carrier_gas", wordOf(kCarrierGasChoices, column.m_nCarrierGas)},
                           {"control_mode", wordOf(kControlModeChoices, column.m_nControlMode)},
                           // A pressure or, in the flow modes, a flow: its unit says which.
                           {"initial_pressure", tidyReading(column.m_Pressure.m_fInitialValue)},
                           {"initial_unit", columnValueUnit(column.m_nControlMode)}});
    }
    return json{{"run_length_min", gc.GetRunLength()},
                {"post_run_min", gc.m_PostRun.m_nEnabled ? tidyReading(gc.m_PostRun.m_fTime) : 0.0},
                {"oven",
                 {{"max_temperature", tidyReading(gc.m_Oven.m_fMaxTemperature)},
                  {"points", ovenPoints(gc.m_Oven)}}},
                {"inlets", inlets},
                {"columns", columns}};
}

}  // namespace gc6890
