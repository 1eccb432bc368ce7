// The GC's status: the poll that fills the host's status record, the single questions
// of the host interface, and the live readings.
#include <memory>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "gc/gc_queries.h"
#include "gc/gc_shared_status.h"
#include "gc/gc_status_text.h"
#include "gc/varnock_gc_system.h"

namespace gc6890 {

namespace {

std::unique_ptr<GCSharedStatus>& sharedStatusHolder()
{
    static std::unique_ptr<GCSharedStatus> holder;
    return holder;
}

}  // namespace

GCSharedStatus& SharedGCStatus()
{
    auto& holder = sharedStatusHolder();
    if (!holder)
        holder = std::make_unique<GCSharedStatus>();
    return *holder;
}

void ForgetSharedGCStatus()
{
    sharedStatusHolder().reset();
}

}  // namespace gc6890

namespace {

void setText(CInletSystemStatus& status, CInletSystemStatus& cache,
             void (CInletSystemStatus::*set)(CString&), CString text)
{
    (status.*set)(text);
    (cache.*set)(text);
}

// The record answered from the last poll, without asking the GC.
void fillFromCache(CInletSystemStatus& status, CInletSystemStatus& cache)
{
    status.GetNotReady() |= cache.GetNotReady();
    status.GetRunning() |= cache.GetRunning();
    status.GetError() |= cache.GetError();
    status.GetPostRunning() = cache.GetPostRunning();
    status.GetTime() = cache.GetTime();
    status.GetFlow() = cache.GetFlow();
    status.GetHighPressure() = cache.GetHighPressure();
    status.GetTemperatureLeft() = cache.GetTemperatureLeft();
    CString notReady = cache.GetNotReadyInfo();
    CString error = cache.GetErrorInfo();
    CString state = cache.GetStatusInfo();
    status.SetNotReadyInfo(notReady);
    status.SetErrorInfo(error);
    status.SetStatusInfo(state);
}

void copyInto(CRegRemoteWindowGCSystem& window, const gc6890::GCRemoteData& data)
{
    window.m_DataBlock = data;
}

}  // namespace

int CVarnockGCSystem::ReadStatus(CInletSystemStatus& status)
{
    // A failed poll throws the library's user exception; any other exception is the
    // caller's.
    try {
        if (m_sCommsRestartFailed == 1) {
            // The rebuilt channel could not be started: report it once as a comms failure.
            CHP6890SerialComms* channel = m_pChannel;
            m_pChannel = nullptr;
            ReadStatusBody(status);
            m_pChannel = channel;
            m_sCommsRestartFailed = 0;
            AfxThrowUserException();
        }
        if (m_bFirstStatusRead == 1) {
            m_bFirstStatusRead = 0;
            if (m_pChannel)
                m_pChannel->DumpHardwareProfileToDisk();
        }
        if (!ReadStatusBody(status))
            AfxThrowUserException();
        return 1;
    } catch (CUserException* failure) {
        failure->Delete();
        CaughtSerialCommsError();
        return 0;
    }
}

int CVarnockGCSystem::ReadStatusBody(CInletSystemStatus& status)
{
    gc6890::GCSharedStatus& shared = gc6890::SharedGCStatus();
    CInletSystemStatus& cache = shared.lastStatus;
    gc6890::GCRemoteData& remote = shared.remoteData;

    if (LockedOut()) {
        // A method download or a sampler exchange holds the channel.
        fillFromCache(status, cache);
        return 1;
    }

    if (!m_pChannel) {
        fillFromCache(status, cache);
        status.GetError() = 1;
        CString failure = "SERIAL COMMS FAILURE";
        status.SetErrorInfo(failure);
        m_bDataRequestPending = 1;
        if (m_pRegRemoteWindow) {
            remote.ovenTemperature = remote.column1Pressure = remote.column2Pressure = 0.0f;
            remote.preRun = remote.ready = remote.running = 0;
            remote.error = 1;
            copyInto(*m_pRegRemoteWindow, remote);
            m_pRegRemoteWindow->SendDataOut();
        }
        return 1;
    }

    // A refresh waits while the record shows a run being timed.
    if (m_bRefreshPending == 1 && !(status.GetTime() > 0.0f)) {
        m_bRefreshPending = 0;
        status.GetNotReady() = 1;
        status.GetRunning() = status.GetPostRunning() = status.GetError() = 0;
        status.GetTime() = status.GetFlow() = status.GetHighPressure() =
            status.GetTemperatureLeft() = 0.0f;
        CString loading = "PLEASE WAIT LOADING STATUS";
        status.SetNotReadyInfo(loading);
        status.SetErrorInfo(loading);
        status.SetStatusInfo(loading);
        m_bDataRequestPending = 1;
        if (m_pRegRemoteWindow) {
            remote.ovenTemperature = remote.column1Pressure = remote.column2Pressure = 0.0f;
            remote.preRun = remote.ready = remote.running = remote.error = 0;
            copyInto(*m_pRegRemoteWindow, remote);
            m_pRegRemoteWindow->SendDataOut();
        }
    }

    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCRunState runState;
    if (!ReadRunState(runState))
        return scope.fail();
    gc6890::GCReadiness readiness;
    if (!m_pChannel || !gc6890::QueryReadiness(*m_pChannel, readiness)) {
        LogCommsFailure("GC READ STATUS: Failed to get readiness info\n");
        return scope.fail();
    }
    gc6890::GCStatusWords words;
    if (!m_pChannel || !gc6890::QueryStatusWords(*m_pChannel, words)) {
        LogCommsFailure("GC READ STATUS: Failed to get status info\n");
        return scope.fail();
    }
    if (!scope.commit()) {
        LogCommsFailure("FAILED TO FREE CONTROL OF COMMS CHANNEL\n");
        return 0;
    }

    shared.runState = runState;
    const int state = runState.state;
    const int notReady = state > 1 ? 1 : (readiness.ready(m_nAutoPrepRun != 0) ? 0 : 1);
    cache.GetNotReady() = notReady;
    status.GetNotReady() |= notReady;
    cache.GetRunning() = state == 2 ? 1 : 0;
    status.GetRunning() |= cache.GetRunning();
    cache.GetPostRunning() = status.GetPostRunning() = state == 3 ? 1 : 0;
    cache.GetTime() = status.GetTime() = runState.elapsedTime;
    const bool inError = words.inError();
    if (inError)
        status.GetError() = 1;
    // The cache carries the error of the last poll that read the GC, so that a poll
    // answered from it during a method download keeps showing an error the host has just
    // seen (and matches the error text the cache keeps beside it).
    cache.GetError() = inError ? 1 : 0;

    setText(status, cache, &CInletSystemStatus::SetNotReadyInfo,
            status.GetNotReady() ? gc6890::GCNotReadyText(words) : CString());
    setText(status, cache, &CInletSystemStatus::SetErrorInfo,
            status.GetError() ? gc6890::GCErrorText(words) : CString());
    setText(status, cache, &CInletSystemStatus::SetStatusInfo, gc6890::GCRunStatusText(runState));

    if (m_pRegRemoteWindow) {
        // Each reading takes the lock-out again for its own exchange.
        remote.ovenTemperature = GetCurrentOvenTemp();
        remote.column1Pressure = GetCurrentColumnPressure();
        remote.column2Pressure = GetCurrentColumn2Pressure();
        remote.column1Flow = GetCurrentColumnFlow();
        remote.column2Flow = GetCurrentColumn2Flow();
        remote.preRun = state == 1 ? 1 : 0;
        remote.ready = state <= 1 && readiness.ready(true) ? 1 : 0;
        remote.running = state == 2 ? 1 : 0;
        remote.error = inError ? 1 : 0;
        cache.GetFlow() = status.GetFlow() = remote.column1Flow;
        cache.GetHighPressure() = status.GetHighPressure() = remote.column1Pressure;
        cache.GetTemperatureLeft() = status.GetTemperatureLeft() = remote.ovenTemperature;
        m_bDataRequestPending = 0;
        // The readings may have dropped and rebuilt the channel, but never the window.
        copyInto(*m_pRegRemoteWindow, remote);
        m_pRegRemoteWindow->SendDataOut();
    }
    return 1;
}

// ---- single questions ------------------------------------------------------------------
// Each: 0 at once while another operation holds the lock-out; a positive answer frees the
// lock only, a negative one tells the registered program first; a lock that cannot be
// freed turns the answer negative.

int CVarnockGCSystem::PrepRunning()
{
    return AskRunState("Failed to query prep running from GC\n",
                       [](const gc6890::GCRunState& state) { return state.preRun(); });
}

int CVarnockGCSystem::MethodRunning()
{
    // Pre-run, run, post-run and a fatal state all count as a method in hand.
    return AskRunState("Failed to query method running from GC\n",
                       [](const gc6890::GCRunState& state) { return !state.idle(); });
}

int CVarnockGCSystem::PostRunning()
{
    return AskRunState("Failed to query post running from GC\n",
                       [](const gc6890::GCRunState& state) { return state.postRun(); });
}

int CVarnockGCSystem::AskRunState(const char* failureText,
                                  bool (*holds)(const gc6890::GCRunState& state))
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCRunState runState;
    if (!m_pChannel || !gc6890::QueryRunState(*m_pChannel, runState)) {
        LogCommsFailure(failureText);
        CaughtSerialCommsError();
        return scope.fail();
    }
    if (!holds(runState))
        return scope.fail();
    return scope.commit();
}

int CVarnockGCSystem::NotReady(CString&)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCRunState runState;
    if (!m_pChannel || !gc6890::QueryRunState(*m_pChannel, runState)) {
        LogCommsFailure("Failed to query not ready from GC\n");
        CaughtSerialCommsError();
        scope.commit();  // no unlock-reset: the answer is not a negative one
        return 1;        // a GC that cannot be asked is not ready
    }
    if (runState.idle()) {
        gc6890::GCReadiness readiness;
        if (!m_pChannel || !gc6890::QueryReadiness(*m_pChannel, readiness)) {
            LogCommsFailure("Failed to query not ready readiness from GC\n");
            CaughtSerialCommsError();
            scope.commit();
            return 1;
        }
        // Readiness 1 means ready, as in the status poll, so NotReady() answers 1 for a
        // GC that is not ready like its other answers (a run in any phase, a failed
        // query) do; a host asking "not ready?" expects exactly that.
        if (readiness.ready(true))
            return scope.fail();
    }
    return scope.commit();
}

int CVarnockGCSystem::Error(CString& reason)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    gc6890::GCStatusWords words;
    if (!m_pChannel || !gc6890::QueryStatusWords(*m_pChannel, words)) {
        LogCommsFailure("Failed to query error state from GC\n");
        CaughtSerialCommsError();
        reason = "GC COMMS FAILED";
        scope.commit();  // no unlock-reset: the answer is not a negative one
        return 1;
    }
    if (!words.inError())
        return scope.fail();
    return scope.commit();
}

// ---- live readings -----------------------------------------------------------------------

float CVarnockGCSystem::QueryReading(gc6890::GCReading reading)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0.0f;
    float value = 0.0f;
    if (!m_pChannel || !gc6890::QueryReading(*m_pChannel, reading, value)) {
        LogCommsFailure(gc6890::ReadingFailureText(reading));
        CaughtSerialCommsError();
        scope.commit();  // a reading tells nobody of its failure
        return 0.0f;
    }
    return scope.commit() ? value : 0.0f;
}

float CVarnockGCSystem::GetElapsedTime()
{
    return QueryReading(gc6890::GCReading::ElapsedTime);
}
float CVarnockGCSystem::GetCurrentOvenTemp()
{
    return QueryReading(gc6890::GCReading::OvenTemperature);
}
float CVarnockGCSystem::GetCurrentColumnPressure()
{
    return QueryReading(gc6890::GCReading::Column1Pressure);
}
float CVarnockGCSystem::GetCurrentColumnFlow()
{
    return QueryReading(gc6890::GCReading::Column1Flow);
}
float CVarnockGCSystem::GetCurrentColumn2Pressure()
{
    return QueryReading(gc6890::GCReading::Column2Pressure);
}
float CVarnockGCSystem::GetCurrentColumn2Flow()
{
    return QueryReading(gc6890::GCReading::Column2Flow);
}
