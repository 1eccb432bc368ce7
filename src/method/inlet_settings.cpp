#include "method/inlet_settings.h"

#include "external/inlet_types.h"
#include "method/method_command.h"

namespace gc6890 {

namespace {

// The row of `side`'s inlet type; nullptr for an unknown type.
const InletType* typeOf(int side, const CHP6890Method& method)
{
    return FindInletType(method.m_Inlets[side].m_nType);
}

// Initial temperature, initial time and three ramps from argument 1 on.
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

}  // namespace

int GCInletCode(int methodInletType)
{
    const InletType* type = FindInletType(methodInletType);
    return type && !type->keepsGC ? type->gcInletCode : 7;
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
    const InletType* type = typeOf(side, method);
    if (!type)
        return 0;
    const InletRecordView record = type->record(method, side);
    switch (type->program) {
    case InletProgramEdit::None:
        break;
    case InletProgramEdit::Isothermal:
        WriteArgument(program, 0, 0);
        WriteArgument(program, 1, truncToInt(*record.temperature));
        break;
    case InletProgramEdit::OvenTrack:
        WriteArgument(program, 0, 1);
        break;
    case InletProgramEdit::Ramped:
        writeProgram(*record.program, program);
        break;
    }
    return 1;
}

int SetInletTempZone(int side, const CHP6890Method& method, CCommandString& zone)
{
    const InletType* type = typeOf(side, method);
    if (!type)
        return 0;
    if (!type->keepsGC)
        WriteArgument(zone, 0, type->record(method, side).zoneOn);
    return 1;
}

int SetInletPneum(int side, const CHP6890Method& method, const CPressure& pressure,
                  CCommandString& pneumatics)
{
    const InletType* type = typeOf(side, method);
    if (!type)
        return 0;
    const CPressure record = pressure;
    const int p = truncToInt(record.m_fInitialValue * 10000.0);
    int i = 1;  // argument 0 is never written
    for (const PneumaticArgument& argument : type->pneumatics(method, side, p))
        WriteArgument(pneumatics, i++,
                      argument.factor != 0 ? truncToInt(argument.value * argument.factor)
                                           : argument.value);
    return 1;
}

int SetInletPneumaticZone(int zoneOn, CCommandString& zone)
{
    WriteArgument(zone, 0, zoneOn == 0 ? 1 : 0);
    return 1;
}

}  // namespace gc6890
