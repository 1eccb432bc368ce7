// The GC object's inlet edits of a method download; the tables live in method/.
#include "gc/varnock_gc_system.h"
#include "method/inlet_settings.h"

int CVarnockGCSystem::SetInletLineFromMethod(tag_INLET_SEL inlet, const CHP6890Method& method,
                                             CCommandString& program)
{
    return gc6890::SetInletLine(inlet, method, program);
}

int CVarnockGCSystem::SetInletTempZoneFromMethod(tag_INLET_SEL inlet, const CHP6890Method& method,
                                                 CCommandString& zone)
{
    return gc6890::SetInletTempZone(inlet, method, zone);
}

int CVarnockGCSystem::SetInletPneumFromMethod(tag_INLET_SEL inlet, const CHP6890Method& method,
                                              CCommandString& pneumatics)
{
    const CPressure& pressure = inlet == FRONT_INLET ? m_FrontInletPressure : m_BackInletPressure;
    return gc6890::SetInletPneum(inlet, method, pressure, pneumatics);
}

int CVarnockGCSystem::SetInletPneumaticZoneFromMethod(tag_INLET_SEL, const CHP6890Method&,
                                                      int zoneOn, CCommandString& zone)
{
    return gc6890::SetInletPneumaticZone(zoneOn, zone);
}
