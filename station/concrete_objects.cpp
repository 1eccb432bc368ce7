// The concrete instrument objects: the only file of the program that names them.
#include "station/concrete_objects.h"

#include <algorithm>

#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "external/inlet_utils.h"
#include "external/installed_hardware.h"
#include "gc/gc_shared_status.h"
#include "gc/varnock_gc_system.h"
#include "sampler/varnock_auto_sampler.h"

namespace gc6890 {

std::unique_ptr<CGCSystem> makeGCSystem(DownloadProgress progress)
{
    auto gc = std::make_unique<CVarnockGCSystem>();
    if (progress)
        gc->SetDownloadProgressObserver(std::move(progress));
    return gc;
}

std::unique_ptr<CAutoSampler> makeAutoSampler()
{
    return std::make_unique<CVarnockAutoSampler>();
}

int resetSampler(CAutoSampler& sampler)
{
    auto* varnock = dynamic_cast<CVarnockAutoSampler*>(&sampler);
    return varnock ? varnock->ResetSampler() : sampler.ResetInjector();
}

InjectionWait injectionWait(CAutoSampler& sampler)
{
    auto* varnock = dynamic_cast<CVarnockAutoSampler*>(&sampler);
    if (!varnock || !varnock->m_bWaitingForInjectResponse)
        return InjectionWait::None;
    if (!varnock->m_bInjectResponseDone)
        return InjectionWait::Awaiting;
    return varnock->m_bInjectResponseOK ? InjectionWait::Accepted : InjectionWait::Refused;
}

bool injectionAnswerOk(CAutoSampler& sampler)
{
    auto* varnock = dynamic_cast<CVarnockAutoSampler*>(&sampler);
    return varnock && varnock->m_bInjectResponseOK;
}

int statusFrequencyMs()
{
    int frequency = 5500;
    ReadRegistryPath("Inlets\\Hubrel\\System Timings\\Status Frequency", frequency,
                     HKEY_LOCAL_MACHINE);
    return std::clamp(frequency, 100, 5500);
}

GCRunState lastGCRunState()
{
    return SharedGCStatus().runState;
}

std::string gcFirmware(CGCSystem& gc)
{
    auto* varnock = dynamic_cast<CVarnockGCSystem*>(&gc);
    if (!varnock || !varnock->m_pChannel)
        return {};
    return varnock->m_pChannel->GetFirmwareVersion().str();
}

std::string gcHardwareReport(CGCSystem& gc)
{
    auto* varnock = dynamic_cast<CVarnockGCSystem*>(&gc);
    InstalledHardware hardware;
    int runState = 0;
    if (!varnock || !varnock->ReadInstalledHardware(hardware, runState))
        return {};
    return describeHardware(hardware);
}

HWND gcRegistrationWindow(CGCSystem& gc)
{
    auto* varnock = dynamic_cast<CVarnockGCSystem*>(&gc);
    return varnock && varnock->m_pRegRemoteWindow ? varnock->m_pRegRemoteWindow->GetSafeHwnd()
                                                  : nullptr;
}

HWND samplerRegistrationWindow(CAutoSampler& sampler)
{
    auto* varnock = dynamic_cast<CVarnockAutoSampler*>(&sampler);
    return varnock && varnock->m_pRegRemoteWindow ? varnock->m_pRegRemoteWindow->GetSafeHwnd()
                                                  : nullptr;
}

}  // namespace gc6890
