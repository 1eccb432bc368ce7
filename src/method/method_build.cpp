#include "method/method_build.h"

#include <cmath>
#include <limits>

#include "comms/hp6890_serial_comms.h"
#include "external/inlet_types.h"
#include "method/inlet_settings.h"
#include "method/section_settings.h"

namespace gc6890 {

namespace {

using Step = std::optional<DownloadFailure>;

Step fail(const CString& text, bool clearDisplay = true)
{
    return DownloadFailure{text, clearDisplay};
}

// Argument i as a number for comparisons; an absent or text argument matches nothing.
double numberOf(const CCommandString& command, int i)
{
    if (i < 0 || i >= command.GetArgumentCount())
        return std::numeric_limits<double>::quiet_NaN();
    switch (command.GetArgumentType(i)) {
    case ARG_INT:
        return command[i].nValue;
    case ARG_FLOAT:
        return command[i].fValue;
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

// Argument i as the integer an immediate command carries (0 when absent or text).
int intOf(const CCommandString& command, int i)
{
    const double value = numberOf(command, i);
    return std::isnan(value) ? 0 : truncToInt(value);
}

float floatOf(const CCommandString& command, int i)
{
    const double value = numberOf(command, i);
    return std::isnan(value) ? 0.0f : static_cast<float>(value);
}

// Argument i as the command prints it ("" when absent).
CString textOf(const CCommandString& command, int i)
{
    if (i < 0 || i >= command.GetArgumentCount())
        return CString();
    CString text;
    switch (command.GetArgumentType(i)) {
    case ARG_STRING:
        return command[i].pString ? *command[i].pString : CString();
    case ARG_FLOAT:
        text.Format("%.2f", static_cast<double>(command[i].fValue));
        return text;
    case ARG_INT:
        text.Format("%d", command[i].nValue);
        return text;
    }
    return text;
}

class MethodBuilder {
public:
    explicit MethodBuilder(MethodBuildContext& context)
        : m_gcList(context.gcList), m_method(context.method), m_new(context.newMethod),
          m_channel(context.channel), m_context(context)
    {}

    Step build()
    {
        for (auto step : {&MethodBuilder::workfileIdentity, &MethodBuilder::inletPresence,
                          &MethodBuilder::inletChecks, &MethodBuilder::inletDefinitions,
                          &MethodBuilder::detectorDefinitions, &MethodBuilder::columnDefinitions,
                          &MethodBuilder::auxiliaryAndValveDefinitions,
                          &MethodBuilder::contactClosureEvents, &MethodBuilder::valve8Definition,
                          &MethodBuilder::ovenDefinition, &MethodBuilder::gcDefinition,
                          &MethodBuilder::ovenProgram, &MethodBuilder::inletPrograms,
                          &MethodBuilder::detectorSettings, &MethodBuilder::columnPneumatics,
                          &MethodBuilder::inletPneumaticZones, &MethodBuilder::closingCommands})
            if (Step failure = (this->*step)())
                return failure;
        return std::nullopt;
    }

private:
    // Copies the GC's command with this head into found; false when the GC has none.
    bool find(const char* head, CCommandString& found) const
    {
        return m_gcList.GetMatchingCommandString(CCommandType(head), found) != 0;
    }

    // A command the GC must have, added unchanged to the workfile or method part.
    Step keepRequired(const char* head, const char* missingText, bool workfile,
                      bool clearDisplay = true)
    {
        CCommandString found;
        if (!find(head, found))
            return fail(missingText, clearDisplay);
        add(found, workfile);
        return std::nullopt;
    }

    void keepOptional(const char* head, bool workfile)
    {
        CCommandString found;
        if (find(head, found))
            add(found, workfile);
    }

    void add(CCommandString& command, bool workfile)
    {
        if (workfile)
            m_new.AddWorkfileComponent(command);
        else
            m_new.AddComponent(command);
    }

    // An immediate configuration command, sent unforced; the GC does not answer it.
    bool sendImmediate(const CString& text)
    {
        CString line = text;
        return m_channel.WriteStringToGC(line, 0) != 0;
    }

    const CColumn& column(int number) const { return m_method.m_Columns[number - 1]; }

    // Row 1: the identity keeps the GC's names and gets the current time and date.
    Step workfileIdentity()
    {
        CCommandString gcIdentity;
        if (!find("CCCCIW", gcIdentity))
            return fail("Failed to find workfile identity");
        CWorkfileIdentity identity(textOf(gcIdentity, 3), textOf(gcIdentity, 4), 0, 0);
        m_new.AddWorkfileComponent(identity);
        return std::nullopt;
    }

    // Row 2.
    Step inletPresence()
    {
        CCommandString found;
        if ((m_front = find("IFIFRC", found)))
            m_new.AddWorkfileComponent(found);
        if ((m_back = find("IBIBRC", found)))
            m_new.AddWorkfileComponent(found);
        return std::nullopt;
    }

    // Row 3: the method's columns against the GC's inlets, then which column feeds which
    // inlet (column 1 wins when both name the same one).
    Step inletChecks()
    {
        if (!m_front && !m_back)
            return fail("GC has no inlets defined");
        for (int number = 1; number <= 2; ++number) {
            const CColumn& c = column(number);
            if (c.m_nConfigured && c.m_nInlet == CColumn::FrontInlet && !m_front)
                return fail("GC has no front inlet");
            if (c.m_nConfigured && c.m_nInlet == CColumn::BackInlet && !m_back)
                return fail("GC has no back inlet");
        }
        const CColumn& c1 = column(1);
        const CColumn& c2 = column(2);
        if (c1.m_nConfigured && c2.m_nConfigured && c1.m_nInlet == c2.m_nInlet &&
            c1.m_nInlet != CColumn::NoInlet) {
            MessageBox(m_context.owner,
                       "Both columns connected to the same inlet.\n Ignoring column 2 mode",
                       "Warning", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
            m_channel.LogError("Both columns connected to the same inlet", 1);
        }
        assignColumn(m_front, CColumn::FrontInlet, m_frontGas, m_frontConfigured,
                     m_context.frontInletPressure);
        assignColumn(m_back, CColumn::BackInlet, m_backGas, m_backConfigured,
                     m_context.backInletPressure);
        return std::nullopt;
    }

    void assignColumn(bool present, int inlet, int& gas, int& configured, CPressure& pressure)
    {
        if (!present)
            return;
        for (int number = 1; number <= 2; ++number) {
            const CColumn& c = column(number);
            if (c.m_nInlet == inlet) {
                gas = c.m_nCarrierGas;
                configured = c.m_nConfigured;
                pressure = c.m_Pressure;
                return;
            }
        }
    }

    // Row 4.
    Step inletDefinitions()
    {
        if (m_front) {
            if (Step failure = editInletDefinition(FRONT_INLET, "IFIFCW", "IFHTCF",
                                                   "No front inlet definition",
                                                   "Failed to set front inlet definition"))
                return failure;
        } else if (Step failure = keepRequired("IFIFCW", "No front inlet definition", true)) {
            return failure;
        }
        if (m_back)
            return editInletDefinition(BACK_INLET, "IBIBCW", "IBHTCF",
                                       "Failed to find back inlet definition",
                                       "Failed to set back inlet definition");
        if (m_method.m_Inlets[CHP6890Method::Back].m_nType != 0)
            return fail("Failed to find back inlet definition");
        return keepRequired("IBIBCW", "Failed to find back inlet definition", true);
    }

    Step editInletDefinition(tag_INLET_SEL inlet, const char* head, const char* immediateHead,
                             const char* missingText, const char* sendText)
    {
        CCommandString gc;
        if (!find(head, gc))
            return fail(missingText);
        const int gas = GCGasCode(inlet == FRONT_INLET ? m_frontGas : m_backGas);
        if (numberOf(gc, 4) != gas) {
            CString command;
            command.Format("%s %d,%.2f,%.2f", immediateHead, gas,
                           static_cast<double>(floatOf(gc, 5)),
                           static_cast<double>(floatOf(gc, 6)));
            if (!sendImmediate(command))
                return fail(sendText);
        }
        const int number = m_method.m_Inlets[inlet].m_nType;
        const InletType* type = FindInletType(number);
        const int code = type && type->keepsGC ? intOf(gc, 0) : GCInletCode(number);
        CMethodStringWCSettingsInlet definition(inlet, code, intOf(gc, 1), 1, intOf(gc, 3), gas,
                                                floatOf(gc, 5), floatOf(gc, 6));
        m_new.AddWorkfileComponent(definition);
        return std::nullopt;
    }

    // Rows 5 and 6.
    Step detectorDefinitions()
    {
        keepOptional("DFDFMF", false);
        keepOptional("DBDBMF", false);
        if (Step failure = keepRequired("DFDFCW", "Front detector definition not found", true))
            return failure;
        return keepRequired("DBDBCW", "Back detector definition not found", true);
    }

    // Row 7.
    Step columnDefinitions()
    {
        if (Step failure = columnDefinition(1, "C1C1CW", "C1HTCF", "Column 1 definition not found",
                                            "Failed to set column 1 definition"))
            return failure;
        return columnDefinition(2, "C2C2CW", "C2HTCF", "Column 2 definition not found",
                                "Failed to set column 2 definition");
    }

    Step columnDefinition(int number, const char* head, const char* immediateHead,
                          const char* missingText, const char* sendText)
    {
        CCommandString gc;
        if (!find(head, gc))
            return fail(missingText);
        const CColumn& c = column(number);
        double wanted[4] = {0, 0, 0, 5};  // an unused column: no dimensions, no inlet
        int values[4] = {0, 0, 0, 5};
        if (c.m_nConfigured) {
            // Compared before truncation: a film of 0.255 never matches the GC's 25.
            wanted[0] = static_cast<double>(c.m_fLength) * 100.0;
            wanted[1] = c.m_fDiameter;
            wanted[2] = static_cast<double>(c.m_fFilmThickness) * 100.0;
            wanted[3] = ColumnInletCode(c.m_nInlet);
            for (int i = 0; i < 4; ++i)
                values[i] = truncToInt(wanted[i]);
        }
        int tail[4] = {intOf(gc, 4), intOf(gc, 5), intOf(gc, 6), intOf(gc, 7)};
        if (number == 2)
            tail[0] = 4;  // column 2's fourth value is always 4
        bool same = true;
        for (int i = 0; i < 4; ++i)
            same = same && numberOf(gc, i) == wanted[i];
        if (!same) {
            CString command;
            command.Format("%s %d,%d,%d,%d,%d,%d,%d,%d", immediateHead, values[0], values[1],
                           values[2], values[3], tail[0], tail[1], tail[2], tail[3]);
            if (!sendImmediate(command))
                return fail(sendText);
        }
        CMethodStringWCSettingsColumn definition(number, values[0], values[1], values[2], values[3],
                                                 tail[0], tail[1], tail[2], tail[3]);
        m_new.AddWorkfileComponent(definition);
        return std::nullopt;
    }

    // Rows 8 to 10: auxiliaries and valves 1 to 6 as the GC has them; valve 7 made the
    // switching valve that carries the contact-closure events.
    Step auxiliaryAndValveDefinitions()
    {
        for (int n = 1; n <= 5; ++n) {
            CString head, text;
            head.Format("A%dA%dCW", n, n);
            text.Format("AUX%d definition not found", n);
            // A missing auxiliary definition leaves the GC's display as it is.
            if (Step failure = keepRequired(head, text, true, false))
                return failure;
        }
        for (int n = 1; n <= 6; ++n) {
            CString head, text;
            head.Format("V%dV%dCW", n, n);
            text.Format("Valve %d definition not found", n);
            if (Step failure = keepRequired(head, text, true))
                return failure;
        }
        CCommandString gcValve7;
        if (!find("V7V7CW", gcValve7))
            return fail("Valve 7 definition not found");
        CString definition;
        definition.Format("V%dV%dCW %d,%d,%d,%.2f,%d", 7, 7, 3, 0, 0, 0.0, 0);
        m_new.AddWorkfileComponent(definition);
        CString immediate = definition;
        immediate.SetAt(2, 'H');
        immediate.SetAt(3, 'T');
        immediate.SetAt(5, 'F');
        if (!sendImmediate(immediate))
            return fail("Failed to set valve 7 to switching");
        return std::nullopt;
    }

    // Row 11: the run table must start the contact closure at 0.00 min; when it does not,
    // both the start and the end item are set again.
    Step contactClosureEvents()
    {
        CIntFloatArray table(75);
        if (!m_channel.SendAndReceiveToGC(CString("GCHTRR"), table))
            return fail("Failed to read run table from GC");
        if (ScanRunTable(table).start)
            return std::nullopt;
        if (!sendImmediate("GCHTRT 0.00,7,1"))
            return fail("Failed to set start item of contact closure event");
        if (!sendImmediate("GCHTRT 0.02,7,0"))
            return fail("Failed to set end item of contact closure event");
        return std::nullopt;
    }

    // Row 12.
    Step valve8Definition() { return keepRequired("V8V8CW", "Valve 8 definition not found", true); }

    // Row 13.
    Step ovenDefinition()
    {
        CCommandString gc;
        if (!find("OVOVCW", gc))
            return fail("Failed to find oven definition");
        const int state = intOf(gc, 1);
        if (state != kOvenUsable) {
            CString text;
            text.Format("Oven error (%s)", OvenStateText(state).c_str());
            return fail(text);
        }
        const COvenProgram& oven = m_method.m_Oven;
        const int cryoCode = OvenCryoCode(oven.m_nCryoOn, oven.m_nCryoType);
        const bool cryoChanged = numberOf(gc, 2) != cryoCode;
        const int maximum = truncToInt(oven.m_fMaxTemperature);
        if (numberOf(gc, 3) != static_cast<double>(oven.m_fMaxTemperature)) {
            CString command;
            command.Format("%s %d", "OVHTCF", maximum);
            if (!sendImmediate(command))
                return fail("Failed to set maximum oven temperature");
        }
        if (cryoChanged) {
            CString command;
            command.Format("%s %d,%d,%d,%.2f,%d,%d", "OVHTCR", oven.m_nCryoOn,
                           oven.m_nCryoQuickCool, truncToInt(oven.m_fCryoUseTemperature),
                           static_cast<double>(oven.m_fCryoTimeout), oven.m_nCryoTimeoutEnabled,
                           oven.m_nCryoFault);
            if (!sendImmediate(command))
                return fail("Failed to set cryo parameters");
        }
        CMethodStringWCSettingsOven definition(intOf(gc, 0), kOvenUsable, cryoCode, maximum);
        m_new.AddWorkfileComponent(definition);
        return std::nullopt;
    }

    // Row 14: the download needs electronic pneumatics control.
    Step gcDefinition()
    {
        CCommandString gc;
        if (!find("GCGCCW", gc))
            return fail("Failed to find GC workfile component");
        if (numberOf(gc, 1) != 1)
            return fail("No EPC on this GC. Must be present for Tavik control");
        m_new.AddWorkfileComponent(gc);
        return std::nullopt;
    }

    // Row 15.
    Step ovenProgram()
    {
        CCommandString gcProgram;
        if (!find("OVOVTR", gcProgram))
            return fail("Failed to find existing oven temperature profile");
        const COvenProgram& oven = m_method.m_Oven;
        const CRamp* r = oven.m_Ramps;
        CMethodStringOvenTempRamp program(truncToInt(oven.m_fInitialTemperature),
                                          oven.m_fInitialTime, &r[0], &r[1], &r[2], &r[3], &r[4],
                                          &r[5]);
        m_new.AddComponent(program);
        CMethodStringOvenThermalZone zone(1);
        m_new.AddComponent(zone);
        CMethodStringOvenSetpoints setpoint(oven.m_fEquilibrationTime);
        m_new.AddComponent(setpoint);
        const CPostRun& post = m_method.m_PostRun;
        const bool enabled = post.m_nEnabled != 0;
        CMethodStringPostRunSetpoints postRun(enabled ? post.m_fTime : 0.0f,
                                              enabled ? truncToInt(post.m_fOvenTemperature) : 0);
        m_new.AddComponent(postRun);
        return std::nullopt;
    }

    // Rows 16 to 19.
    Step inletPrograms()
    {
        struct Edit {
            bool present;
            tag_INLET_SEL inlet;
            const char* head;
            const char* missingText;
            int (*op)(int, const CHP6890Method&, CCommandString&);
            const char* failText;
        };
        const Edit edits[] = {
            {m_front, FRONT_INLET, "IFIFTR", "Failed to find front inlet temperature profile",
             SetInletLine, "Failed to reload front inlet temperature profile"},
            {m_back, BACK_INLET, "IBIBTR", "Failed to find back inlet temperature profile",
             SetInletLine, "Failed to reload back inlet temperature profile"},
            {m_front, FRONT_INLET, "IFIFTZ", "Front Inlet Temp Zone state not found",
             SetInletTempZone, "Failed to set Front Inlet Temp Zone state"},
            {m_back, BACK_INLET, "IBIBTZ", "Back Inlet Temp Zone state not found", SetInletTempZone,
             "Failed to set Back Inlet Temp Zone state"},
        };
        for (const Edit& e : edits) {
            if (!e.present)
                continue;
            CCommandString found;
            if (!find(e.head, found))
                return fail(e.missingText);
            if (!e.op(e.inlet, m_method, found))
                return fail(e.failText);
            m_new.AddComponent(found);
        }
        if (m_front) {
            if (Step failure = frontInletCryo())
                return failure;
            if (Step failure =
                    inletPneumatics(FRONT_INLET, {"IFIFSP", "IFIFCP", "IFIFGV", "IFIFGP"},
                                    "Existing front inlet is not COC, PTV or S/S",
                                    "Failed to set front inlet params"))
                return failure;
        }
        if (m_back)
            return inletPneumatics(BACK_INLET, {"IBIBSP", "IBIBCP"},
                                   "Existing back inlet is not COC or S/S",
                                   "Failed to set back inlet params");
        return std::nullopt;
    }

    Step frontInletCryo()
    {
        const InletType* type = FindInletType(m_method.m_Inlets[CHP6890Method::Front].m_nType);
        const InletCryo cryo = type ? type->cryo : InletCryo::None;
        CCommandString gcCryo;
        if (cryo == InletCryo::FromMethod) {
            if (!find("IFIFCR", gcCryo))
                return fail("Can't find Inlet Cryo Setpoints Parameters");
            const CPTVCryo& c = m_method.m_PTVCryo;
            CMethodStringInletPTVCryoSetpoints cryo(
                c.m_nCryoOn, c.m_nCoolant, c.m_nFaultDetection, truncToInt(c.m_fUseTemperature),
                truncToInt(c.m_fTimeout), c.m_nTimeoutEnabled, c.m_nQuickCool);
            m_new.AddComponent(cryo);
        } else if (cryo == InletCryo::KeptFromGC) {
            keepOptional("IFIFCR", false);
        }
        return std::nullopt;
    }

    Step inletPneumatics(tag_INLET_SEL inlet, std::initializer_list<const char*> heads,
                         const char* missingText, const char* failText)
    {
        for (const char* head : heads) {
            CCommandString found;
            if (!find(head, found))
                continue;
            const CPressure& pressure =
                inlet == FRONT_INLET ? m_context.frontInletPressure : m_context.backInletPressure;
            if (!SetInletPneum(inlet, m_method, pressure, found))
                return fail(failText);
            m_new.AddComponent(found);
            return std::nullopt;
        }
        return fail(missingText);
    }

    // Row 20: the detectors' settings as the GC has them.
    Step detectorSettings()
    {
        for (const char* head : {"DFDFTR", "DBDBTR", "DFDFTZ", "DBDBTZ", "DFDFNI", "DBDBNI"})
            keepOptional(head, false);
        if (Step failure = keepRequired("DFDFNZ", "Front detector invalid", false))
            return failure;
        if (Step failure = keepRequired("DBDBNZ", "Back detector invalid", false))
            return failure;
        keepOptional("DFDFFI", false);
        keepOptional("DBDBFI", false);
        return std::nullopt;
    }

    // Row 21: a pressure (or flow) program for each column the method uses.
    Step columnPneumatics()
    {
        for (int number = 1; number <= 2; ++number) {
            const CColumn& c = column(number);
            if (!c.m_nConfigured)
                continue;
            const ColumnPneumaticMode mode = ColumnPneumaticModeOf(c.m_nControlMode);
            const CPressure& p = c.m_Pressure;
            CMethodStringColumnPneumatics pneumatics(
                number, 1, 1, mode.code, mode.flowFlag, p.m_fInitialValue, p.m_fInitialTime,
                &p.m_Ramps[0], &p.m_Ramps[1], &p.m_Ramps[2], m_method.m_PostRun.m_fColumnValue);
            m_new.AddComponent(pneumatics);
        }
        return std::nullopt;
    }

    // Row 22: an inlet's pneumatics zone is on when a used column with a pressure program
    // is on it.
    Step inletPneumaticZones()
    {
        struct Zone {
            const char* head;
            const char* missingText;
            int configured;
            bool present;
            const CPressure& pressure;
        };
        const Zone zones[] = {
            {"IFIFNZ", "Front Inlet Pneumatic Zone state not found", m_frontConfigured, m_front,
             m_context.frontInletPressure},
            {"IBIBNZ", "Back Inlet Pneumatic Zone state not found", m_backConfigured, m_back,
             m_context.backInletPressure},
        };
        for (const Zone& z : zones) {
            CCommandString found;
            if (!find(z.head, found))
                return fail(z.missingText);
            const int zoneOn =
                z.configured != 0 && z.present && z.pressure.m_fInitialValue != 0.0f ? 0 : 1;
            SetInletPneumaticZone(zoneOn, found);
            m_new.AddComponent(found);
        }
        return std::nullopt;
    }

    // Rows 23 to 27.
    Step closingCommands()
    {
        for (const char* head : {"A3A3NZ", "A4A4NZ", "A5A5NZ"})
            keepOptional(head, false);
        const char* const compensation[][2] = {
            {"CCCCC1", "Failed to find current column comp for column1"},
            {"CCCCC2", "Failed to find current column comp for column2"}};
        for (const auto& [head, missingText] : compensation) {
            CCommandString found;
            if (!find(head, found))
                return fail(missingText);
            WriteArgument(found, 0, 2);
            m_new.AddComponent(found);
        }
        CString purge;
        purge.Format("GCGCPU %d", 2);
        m_new.AddComponent(purge);
        const char* const signals[][2] = {{"S1S1CS", "Failed to find signal 1 definition (part1)"},
                                          {"S1S1CA", "Failed to find signal 1 definition (part2)"},
                                          {"S1S1ZA", "Failed to find signal 1 definition (part3)"},
                                          {"S2S2CS", "Failed to find signal 2 definition (part1)"},
                                          {"S2S2CA", "Failed to find signal 2 definition (part2)"},
                                          {"S2S2ZA", "Failed to find signal 2 definition (part3)"}};
        for (const auto& [head, missingText] : signals)
            if (Step failure = keepRequired(head, missingText, false))
                return failure;
        // The lone quote closes the last method line.
        m_new.AddComponent("\"");
        return std::nullopt;
    }

    const CCommandStringList& m_gcList;
    const CHP6890Method& m_method;
    CMethodCommand& m_new;
    CHP6890SerialComms& m_channel;
    MethodBuildContext& m_context;

    bool m_front = false;
    bool m_back = false;
    int m_frontGas = 2;  // the carrier gas of the column on each inlet (2 when none)
    int m_backGas = 2;
    int m_frontConfigured = 0;
    int m_backConfigured = 0;
};

}  // namespace

std::optional<DownloadFailure> BuildNewMethod(MethodBuildContext& context)
{
    return MethodBuilder(context).build();
}

}  // namespace gc6890
