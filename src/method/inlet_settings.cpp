#include "method/inlet_settings.h"

#include "method/method_command.h"

namespace gc6890 {

namespace {

bool validType(int type)
{
    return type >= 0 && type <= kHighestInletType;
}

// Initial temperature, initial time and three ramps from argument 1 on (types 4 to 9).
void writeProgram(const CInletTempProgram& program, CCommandString& command)
{
    WriteArgument(command, 0, 0);
    WriteArgument(command, 1, truncToInt(program.m_fInitialTemperature));
    WriteArgument(command, 2, program.m_fInitialTime);
    for (int k = 0; k < CInletTempProgram::MaxRamps; ++k) {
        const CRamp& ramp = program.m_Ramps[k];
        WriteArgument(command, 3 + 3 * k, ramp.m_fRate);
        WriteArgument(command, 4 + 3 * k, truncToInt(ramp.m_fFinal));
        WriteArgument(command, 5 + 3 * k, ramp.m_fTime);
    }
}

// One value for an argument, whether the method holds it as an integer or a float.
struct ArgumentValue {
    ArgumentValue(int value) : number(value) {}     // NOLINT: implicit, used in lists
    ArgumentValue(float value) : number(value) {}   // NOLINT
    ArgumentValue(double value) : number(value) {}  // NOLINT
    double number;
};

// An integer stored in the method times a factor (integer multiplication).
int times(int value, long long factor)
{
    return truncToInt(static_cast<double>(static_cast<long long>(value) * factor));
}

// value × factor, truncated toward zero (computed in double precision).
int scaled(double value, double factor)
{
    return truncToInt(value * factor);
}

}  // namespace

int GCInletCode(int methodInletType)
{
    switch (methodInletType) {
    case 1:
    case 2:
        return 2;
    case 3:
    case 4:
        return 1;
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
        return 12;
    default:
        return 7;
    }
}

int GCGasCode(int methodCarrierGas)
{
    switch (methodCarrierGas) {
    case 1:
    case 2:
    case 3:
        return methodCarrierGas;
    case 4:
        return 0;
    default:
        return 7;
    }
}

void WriteArgument(CCommandString& command, int i, double value)
{
    if (i < 0 || i >= command.GetArgumentCount())
        return;
    switch (command.GetArgumentType(i)) {
    case ARG_INT:
        command[i].nValue = truncToInt(value);
        break;
    case ARG_FLOAT:
        command[i].fValue = static_cast<float>(value);
        break;
    default:
        break;  // a text stays a text
    }
}

int SetInletLine(int side, const CHP6890Method& method, CCommandString& program)
{
    const int type = method.m_Inlets[side].m_nType;
    if (!validType(type))
        return 0;
    const CInletSide& inlet = method.m_Inlets[side];
    switch (type) {
    case 0:
        break;  // the GC keeps its own program
    case 1:
        WriteArgument(program, 0, 0);
        WriteArgument(program, 1, truncToInt(inlet.m_Split.m_fTemperature));
        break;
    case 2:
        WriteArgument(program, 0, 0);
        WriteArgument(program, 1, truncToInt(inlet.m_Splitless.m_fTemperature));
        break;
    case 3:
        WriteArgument(program, 0, 1);  // tracks the oven
        break;
    default:
        writeProgram(*method.GetInletProgram(side, type), program);
        break;
    }
    return 1;
}

int SetInletTempZone(int side, const CHP6890Method& method, CCommandString& zone)
{
    const int type = method.m_Inlets[side].m_nType;
    if (!validType(type))
        return 0;
    if (type != 0)
        WriteArgument(zone, 0, method.GetInletZoneOn(side, type));
    return 1;
}

int SetInletPneum(int side, const CHP6890Method& method, const CPressure& pressure,
                  CCommandString& pneumatics)
{
    const int type = method.m_Inlets[side].m_nType;
    if (!validType(type))
        return 0;
    const CPressure record = pressure;
    const int p = scaled(record.m_fInitialValue, 10000.0);
    const CInletSide& inlet = method.m_Inlets[side];
    // Arguments 1 to 10; argument 0 is never written.
    auto write = [&](std::initializer_list<ArgumentValue> values) {
        int i = 1;
        for (const ArgumentValue& value : values)
            WriteArgument(pneumatics, i++, value.number);
    };
    switch (type) {
    case 1: {
        const CInletSplit& s = inlet.m_Split;
        write({1, p, scaled(s.m_fSplitFlow, 1000), s.m_fSplitRatio});
        break;
    }
    case 2:
        write({0, p, times(inlet.m_Splitless.m_nPurgeTime, 10000), 0});
        break;
    case 5: {
        const CInletPTV& r = method.m_PTV[0];
        write({0, p, times(r.m_nPurgeTime, 10000), 0, 0, 0, 0, scaled(r.m_fSaverFlow, 1000),
               r.m_fSaverTime, r.m_nGasSaver});
        break;
    }
    case 6: {
        const CInletPTV& r = method.m_PTV[1];
        write({1, p, scaled(r.m_fSplitFlow, 1000), r.m_fSplitRatio, 0, 0, 0,
               scaled(r.m_fSaverFlow, 1000), r.m_fSaverTime, r.m_nGasSaver});
        break;
    }
    case 7: {
        const CInletPTV& r = method.m_PTV[2];
        write({3, p, times(r.m_nPurgeTime, 10000), 0, 0, scaled(r.m_fPulsePressure, 10000),
               r.m_fPulseTime, scaled(r.m_fSaverFlow, 1000), r.m_fSaverTime, r.m_nGasSaver});
        break;
    }
    case 8: {
        const CInletPTV& r = method.m_PTV[3];
        write({2, p, scaled(r.m_fSplitFlow, 1000), r.m_fSplitRatio, 0,
               scaled(r.m_fPulsePressure, 10000), r.m_fPulseTime, scaled(r.m_fSaverFlow, 1000),
               r.m_fSaverTime, r.m_nGasSaver});
        break;
    }
    case 9: {
        const CInletSolventVent& q = method.m_SolventVent;
        write({4, p, scaled(q.m_fVentFlow, 1000), q.m_fVentTime, scaled(q.m_fPurgeFlow, 1000),
               scaled(q.m_fVentPressure, 10000), q.m_fPurgeTime, scaled(q.m_fSaverFlow, 1000),
               q.m_fSaverTime, q.m_nGasSaver});
        break;
    }
    default:
        break;  // types 0, 3 and 4: the GC keeps its pneumatics
    }
    return 1;
}

int SetInletPneumaticZone(int zoneOn, CCommandString& zone)
{
    WriteArgument(zone, 0, zoneOn == 0 ? 1 : 0);
    return 1;
}

}  // namespace gc6890
