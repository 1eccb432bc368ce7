// Loading the sampler's part of a stored method: the injector check and choice, and the
// set points sent in one "01HTSETPTS" command.
#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/lock_out_scope.h"
#include "external/inlet_utils.h"
#include "sampler/sampler_commands.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

constexpr const char* kMethodErrorCaption = "6890 Method Error";

// The configuration does not allow the method: the user is told before the load fails.
int RefuseMethod(const char* text)
{
    MessageBox(nullptr, text, kMethodErrorCaption, MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

}  // namespace

int CVarnockAutoSampler::LoadMethod(const CString& name)
{
    return LoadMethodBody(name, 0, true);
}

int CVarnockAutoSampler::LoadMethod(const CString& name, int volumeStep)
{
    return LoadMethodBody(name, volumeStep, false);
}

int CVarnockAutoSampler::CheckInletTZOnFromMethod(tag_INLET_SEL side, const CHP6890Method& gcMethod)
{
    const int type = gcMethod.m_Inlets[side].m_nType;
    if (type < 1 || type > 9)
        return 0;
    return gcMethod.GetInletZoneOn(side, type);
}

int CVarnockAutoSampler::ChooseInjector(const CALS6890Method& alsMethod,
                                        const CHP6890Method& gcMethod)
{
    using namespace gc6890::sampler;
    const CALSStatus& status = alsMethod.m_Status;
    const int frontZoneOn = CheckInletTZOnFromMethod(FRONT_INLET, gcMethod);
    const int backZoneOn = CheckInletTZOnFromMethod(BACK_INLET, gcMethod);
    // Front first, then back: a method asking for both single injectors ends up on the
    // back one, once both have passed their checks.
    if (status.m_nFrontInjector) {
        if (!m_bFrontInjectorPresent || !m_bFrontInletConfigured)
            return RefuseMethod("Front Injector or Inlet not configured\n");
        if (!frontZoneOn)
            return RefuseMethod("Front Inlet Thermal Zone OFF\n");
        m_sInjectorSelection = kFrontInjector;
    }
    if (status.m_nBackInjector) {
        if (!m_bBackInjectorPresent || !m_bBackInletConfigured)
            return RefuseMethod("Back Injector or Inlet not configured\n");
        if (!backZoneOn)
            return RefuseMethod("Back Inlet Thermal Zone OFF\n");
        m_sInjectorSelection = kBackInjector;
        return 1;
    }
    if (status.m_nBothInjectors) {
        if (!m_bFrontInjectorPresent || !m_bBackInjectorPresent || !m_bFrontInletConfigured ||
            !m_bBackInletConfigured)
            return RefuseMethod("Not configured for injection to both inlets\n");
        if (!frontZoneOn)
            return RefuseMethod("Front Inlet Thermal Zone OFF\n");
        if (!backZoneOn)
            return RefuseMethod("Back Inlet Thermal Zone OFF\n");
        m_sInjectorSelection = kBothInjectors;
    }
    // No flag at all: the previous selection stands.
    return 1;
}

int CVarnockAutoSampler::LoadMethodBody(const CString& name, int volumeStep, bool fromHost)
{
    gc6890::LockOutScope scope;  // the sampler tells nobody of a failure
    if (!scope.held())
        return 0;

    CString fileName = name;
    AddMethodFileExtension("HP6890", fileName);
    CFileS file;
    if (!file.Open(fileName, CFileS::modeRead, nullptr))
        return scope.fail();
    CHP6890Method gcMethod;
    // The run-start form does not take the vial settings from the method.
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe(),
                             fromHost ? CALSStatus() : CALSStatus(0));
    {
        CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
        SerializeGCandALS(archive, gcMethod, alsMethod);
    }
    file.Close();

    if (fromHost) {
        m_sNextVial = alsMethod.m_Status.m_nFirstVial;
        m_sOffsetBackVials = alsMethod.m_Status.m_nOffsetBackVials;
    }
    if (!ChooseInjector(alsMethod, gcMethod))
        return scope.fail();
    if (fromHost)
        volumeStep =
            gc6890::sampler::VolumeStepForMethod(alsMethod.m_Injection.m_nVolume, m_n6890Type);
    const CString command =
        gc6890::sampler::FormatSetPoints(m_sInjectorSelection, alsMethod, volumeStep);

    if (!m_pSerialComms)
        return scope.fail();
    CIntFloatArray answer(1);
    if (!m_pSerialComms->SendAndReceiveToALS(command, answer) || answer.GetInt(0) != 0)
        return scope.fail();
    return scope.commit();
}
