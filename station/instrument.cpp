#include "station/instrument.h"

#include "comms/comms_registry.h"
#include "comms/registered_messages.h"
#include "interface/inlet_system_status.h"
#include "platform/platform.h"

namespace gc6890 {

namespace {

RunState runStateOf(const GCRunState& gc)
{
    if (gc.postRun())
        return RunState::PostRun;
    if (gc.preRun())
        return RunState::PreRun;
    if (gc.runActive())
        return RunState::Run;
    return RunState::Idle;
}

// A user of the shared channel for as long as it lives, so that the registry's failure
// broadcast reaches it as it reaches the instrument objects. It lets the channel go when
// asked (never holding up a rebuild) and takes no restored channel.
class FailureBroadcastEar : public CWnd {
public:
    FailureBroadcastEar()
    {
        CreateEx(0, "gc6890 failure broadcast ear", "", 0, 0, 0, 1, 1, nullptr, nullptr);
        registered_ = GetSerialComms(m_hWnd) != nullptr;
    }
    ~FailureBroadcastEar() override
    {
        if (registered_)
            ReleaseSerialComms(m_hWnd);
    }
    FailureBroadcastEar(const FailureBroadcastEar&) = delete;
    FailureBroadcastEar& operator=(const FailureBroadcastEar&) = delete;

    bool heard() const { return heard_; }

    LRESULT OnCommsFailure(WPARAM, LPARAM)
    {
        heard_ = true;
        return 1;
    }
    LRESULT OnCommsRestore(WPARAM, LPARAM) { return 1; }

private:
    bool registered_ = false;
    bool heard_ = false;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(FailureBroadcastEar, CWnd)
ON_REGISTERED_MESSAGE(g_nCommsFailureMessage, OnCommsFailure)
ON_REGISTERED_MESSAGE(g_nCommsRestoreMessage, OnCommsRestore)
END_MESSAGE_MAP()

// The sampler's status read answers 1 even when its exchange failed (no answer, another
// head, a code it does not have): that failure shows only as the record's Error and
// NotReady flags and as the channel registry's failure broadcast. An Error flag alone is no
// failed poll (a refused injection raises it too), so the poll listens for the broadcast.
// False when the read failed, or when a failure of the line was broadcast while it ran
// (the channel is then being rebuilt).
bool pollSampler(CAutoSampler& sampler, CInletSystemStatus& status)
{
    FailureBroadcastEar ear;
    const bool read = sampler.ReadStatus(status) != 0;
    return read && !ear.heard();
}

}  // namespace

Instrument::Instrument(DownloadProgress progress) : progress_(std::move(progress)) {}

Instrument::~Instrument()
{
    close();
}

Instrument::Part Instrument::open(Parts parts)
{
    close();
    gc_ = makeGCSystem(progress_);
    if (!gc_->InitialiseComms()) {
        close();
        return Part::GC;
    }
    if (parts == Parts::GCOnly)
        return Part::None;
    sampler_ = makeAutoSampler();
    if (!sampler_->InitialiseComms()) {
        close();
        return Part::Sampler;
    }
    sampler_->Initialise();
    return Part::None;
}

bool Instrument::close()
{
    // The sampler's side first: it closes its pass-through port on the GC, an exchange.
    bool clean = true;
    if (sampler_) {
        clean = sampler_->CloseDownComms() != 0;
        sampler_.reset();
    }
    if (gc_) {
        clean = gc_->CloseDownComms() != 0 && clean;
        gc_.reset();
    }
    return clean;
}

bool Instrument::poll(InstrumentStatus& status)
{
    CInletSystemStatus record;
    bool ok = gc_->ReadStatus(record) != 0;
    // The GC's own view, before the sampler's is merged in.
    const bool gcReady = record.GetNotReady() == 0;
    const std::string gcNotReady = statusOfRecord(record).notReadyText;
    const RunState run = runStateOf(lastGCRunState());
    bool injecting = false;
    if (sampler_ && ok) {
        CInletSystemStatus samplerRecord;
        ok = pollSampler(*sampler_, samplerRecord);
        injecting = samplerRecord.GetInjecting() != 0;
        record |= samplerRecord;
    }
    status = statusOfRecord(record);
    status.runState = run;
    status.gcReady = gcReady;
    status.gcNotReadyText = gcNotReady;
    status.samplerInjecting = injecting;
    return ok;
}

Instrument::Part Instrument::load(const std::string& file)
{
    if (!loadGC(file))
        return Part::GC;
    return loadSampler(file) ? Part::None : Part::Sampler;
}

bool Instrument::loadGC(const std::string& file)
{
    return gc_->LoadMethod(CString(file)) != 0;
}

bool Instrument::loadSampler(const std::string& file)
{
    return sampler_->LoadMethod(CString(file)) != 0;
}

Instrument::Part Instrument::inject(const std::string& file, int vial, float volume)
{
    if (!sampler_->StartMethod(CString(file), CString(std::to_string(vial)), volume))
        return Part::Sampler;
    return gc_->StartMethod() ? Part::None : Part::GC;
}

InjectionWait Instrument::injectionWait()
{
    return sampler_ ? gc6890::injectionWait(*sampler_) : InjectionWait::None;
}

bool Instrument::injectionAnswerOk()
{
    return sampler_ && gc6890::injectionAnswerOk(*sampler_);
}

Instrument::Part Instrument::stop()
{
    const bool sampler = !sampler_ || sampler_->StopMethod();
    const bool gc = gc_->StopMethod() != 0;
    return !gc ? Part::GC : !sampler ? Part::Sampler : Part::None;
}

bool Instrument::resetSampler()
{
    return gc6890::resetSampler(*sampler_) != 0;
}

bool Instrument::zones(bool on)
{
    return gc_->SwitchGC(on ? On : Off) != 0;
}

bool Instrument::gcOn()
{
    return gc_->GCOn() != 0;
}

bool Instrument::record(const std::string& file, float volume, std::string& text)
{
    std::unique_ptr<CGCSystem> ownGC;
    std::unique_ptr<CAutoSampler> ownSampler;
    CGCSystem* gc = gc_.get();
    CAutoSampler* sampler = sampler_.get();
    if (!gc || !sampler) {
        ownGC = makeGCSystem({});
        ownSampler = makeAutoSampler();
        gc = ownGC.get();
        sampler = ownSampler.get();
    }
    CGenericExpRecord record;
    const CString name(file);
    if (!gc->WriteExpRecord(&record, name) || !sampler->WriteExpRecord(&record, name))
        return false;
    sampler->WriteInjectionVolume(&record, volume);
    text = record.Text();
    // Objects of its own go sampler first, as the design closes them.
    ownSampler.reset();
    return true;
}

std::string Instrument::firmware()
{
    return gc_ ? gcFirmware(*gc_) : std::string();
}

std::string Instrument::hardwareReport()
{
    return gc_ ? gcHardwareReport(*gc_) : std::string();
}

HWND Instrument::gcWindow()
{
    return gc_ ? gcRegistrationWindow(*gc_) : nullptr;
}

HWND Instrument::samplerWindow()
{
    return sampler_ ? samplerRegistrationWindow(*sampler_) : nullptr;
}

}  // namespace gc6890
