// Run start: the four StartMethod forms, the injection command and its exchange, and the
// poll for an answer that comes late.
#include <cstdlib>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/lock_out_scope.h"
#include "external/inlet_utils.h"
#include "sampler/sampler_commands.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

constexpr const char* kAutoPrepRunPath = "Inlets\\Hubrel\\Varnock\\AutoPrepRun";
// Unless the setting says otherwise, the GC prepares itself for a run.
constexpr int kAutoPrepRunDefault = 1;
// The GC's prepare-for-run command, sent after an accepted injection when it does not.
constexpr const char* kPrepareRunCommand = "GCHTPR";

}  // namespace

int CVarnockAutoSampler::StartMethod()
{
    const int vial = m_sNextVial++;
    return InjectSample(vial) ? 1 : 0;
}

int CVarnockAutoSampler::StartMethod(const CString& method)
{
    CString name = method;
    AddMethodFileExtension("HP6890", name);
    if (!LoadMethod(name))
        return 0;
    return InjectSample(m_sNextVial);
}

// The name is completed here and again by the load; completing a completed name changes
// nothing.
int CVarnockAutoSampler::StartWithVolume(const CString& method, float volume)
{
    CString name = method;
    AddMethodFileExtension("HP6890", name);
    int step = 0;
    if (!gc6890::sampler::VolumeStepForStart(volume, m_n6890Type, step))
        return 0;
    return LoadMethod(name, step);
}

int CVarnockAutoSampler::StartMethod(const CString& method, const CString& vial, float volume)
{
    if (!StartWithVolume(method, volume))
        return 0;
    return InjectSample(vial);
}

int CVarnockAutoSampler::StartMethod(const CString& method, int vial, float volume)
{
    if (!StartWithVolume(method, volume))
        return 0;
    return InjectSample(vial);
}

int CVarnockAutoSampler::InjectSample(int vial)
{
    using namespace gc6890::sampler;
    int backVial = vial;
    if (m_sInjectorSelection == kBothInjectors && m_sOffsetBackVials) {
        // The back half of the tray is the front half's partner: only vials below 51 have one.
        if (vial > kBackVialOffset)
            return 0;
        backVial = vial + kBackVialOffset;
    }
    return InjectSampleBody(FormatInjection(m_sInjectorSelection, vial, backVial));
}

int CVarnockAutoSampler::InjectSample(CString vial)
{
    using namespace gc6890::sampler;
    if (m_sInjectorSelection == kBothInjectors)
        return InjectSample(std::atoi(vial.c_str()));
    return InjectSampleBody(FormatInjection(m_sInjectorSelection, vial));
}

int CVarnockAutoSampler::InjectSampleBody(CString command)
{
    gc6890::LockOutScope scope;  // the sampler tells nobody of a failure
    if (!scope.held())
        return 0;
    int autoPrepRun = kAutoPrepRunDefault;
    ReadRegistryPath(kAutoPrepRunPath, autoPrepRun, HKEY_LOCAL_MACHINE);
    if (!m_pSerialComms)
        return scope.fail();
    // No answer at once is no failure: the sampler answers when it actually injects,
    // which the timer window waits for. The comms failure is never raised here.
    CIntFloatArray answer(1);
    if (!m_pSerialComms->SendAndReceiveToALS(command, answer))
        return StartWaitingForInjectResponse(scope);
    if (!CheckALSSInjectReturn(answer.GetInt(0))) {
        m_bInjectResponseDone = 1;
        m_bInjectResponseOK = 0;
        return scope.fail();
    }
    if (!autoPrepRun) {
        CString prepare = kPrepareRunCommand;
        CString reply;
        if (!m_pSerialComms->SendAndReceiveToALS(prepare, reply))
            return StartWaitingForInjectResponse(scope);
    }
    return scope.commit();
}

int CVarnockAutoSampler::StartWaitingForInjectResponse(gc6890::LockOutScope& scope)
{
    m_pCallbackWnd = new CVarnockAutoSamplerCallbackWnd(this);
    if (!m_pCallbackWnd->Create(kCallbackWindowTemplate) || !m_pCallbackWnd->StartCallbackTimer()) {
        delete m_pCallbackWnd;  // its destructor clears m_pCallbackWnd
        return scope.fail();
    }
    // The lock-out stays held for the whole wait; the timer window (or the answer, or a
    // stop) frees it.
    scope.handOver();
    m_bWaitingForInjectResponse = 1;
    return 1;
}

int CVarnockAutoSampler::GetStartMethodResponse()
{
    if (!m_pSerialComms)
        return 0;
    CString reply;
    if (!m_pSerialComms->ReceiveStringFromALS(reply, 0)) {
        if (!m_pSerialComms->IsLineGone())
            return 0;  // nothing yet: the next tick asks again
        // The line is gone (hung up): no answer can come over it, and waiting out the five
        // minutes would keep everyone else locked out of a dead channel. The injection is
        // settled as failed and the failure reported, so the channel is rebuilt.
        m_bInjectResponseDone = 1;
        m_bInjectResponseOK = 0;
        FreeLock();
        m_pSerialComms->LogError("ALS INJECTION: line lost while awaiting the injection answer\n",
                                 1);
        CaughtSerialCommsError();
        return 0;
    }
    if (reply.Find(gc6890::sampler::kLateAnswerHead) < 0)
        return 0;
    if (!CheckALSSInjectReturn(gc6890::sampler::AnswerCode(reply))) {
        m_bInjectResponseDone = 1;
        m_bInjectResponseOK = 0;
        FreeLock();
        return 0;
    }
    return FreeLock() ? 1 : 0;
}
