// The GC's status: the poll that fills the host's status record, the single questions
// of the host interface, and the live readings.
#include <cstring>
#include <memory>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "gc/gc_shared_status.h"
#include "gc/gc_status_text.h"
#include "gc/varnock_gc_system.h"

namespace gc6890 {

// One live reading: its query, the slot that holds the value and how to read it.
struct GCReading {
    const char* command;
    int slots;
    int slot;
    bool isFloat;  // the slot holds a float; otherwise an integer
    double scale;  // applied to an integer slot
    const char* failureText;
};

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

using gc6890::GCReading;

namespace {

const GCReading kElapsedTime = {"GCHTRI", 9,   6,
                                true,     1.0, "Failed to query elapsed time from GC\n"};
const GCReading kOvenTemperature = {"OVHTST", 3,   2,
                                    false,    1.0, "Failed to query oven temp from GC\n"};
const GCReading kColumn1Pressure = {
    "C1HTPI ?", 1, 0, false, 0.0001, "Failed to query column 1 pressure from GC\n"};
const GCReading kColumn1Flow = {"C1HTFI ?", 1,     0,
                                false,      0.001, "Failed to query column 1 flow from GC\n"};
const GCReading kColumn2Pressure = {
    "C2HTPI ?", 1, 0, false, 0.0001, "Failed to query column 2 pressure from GC\n"};
const GCReading kColumn2Flow = {"C2HTFI ?", 1,     0,
                                false,      0.001, "Failed to query column 2 flow from GC\n"};

constexpr int kRunStateSlots = 9;
constexpr int kReadinessSlots = 6;
constexpr int kStatusWordSlots = 15;

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
    std::memcpy(window.m_DataBlock, &data, sizeof data);
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
    CIntFloatArray runState(kRunStateSlots);
    if (!QueryGC("GCHTRI", runState)) {
        LogCommsFailure("GC READ STATUS: Failed to get run state and time\n");
        return scope.fail();
    }
    CIntFloatArray readiness(kReadinessSlots);
    if (!QueryGC("GCHTRY", readiness)) {
        LogCommsFailure("GC READ STATUS: Failed to get readiness info\n");
        return scope.fail();
    }
    CIntFloatArray words(kStatusWordSlots);
    if (!QueryGC("GCHTST", words)) {
        LogCommsFailure("GC READ STATUS: Failed to get status info\n");
        return scope.fail();
    }
    if (!scope.commit()) {
        LogCommsFailure("FAILED TO FREE CONTROL OF COMMS CHANNEL\n");
        return 0;
    }

    const int state = runState.GetInt(0);
    const int readinessValue = readiness.GetInt(m_nAutoPrepRun ? 1 : 3);
    const int notReady = state > 1 ? 1 : (readinessValue == 1 ? 0 : 1);
    cache.GetNotReady() = notReady;
    status.GetNotReady() |= notReady;
    cache.GetRunning() = state == 2 ? 1 : 0;
    status.GetRunning() |= cache.GetRunning();
    cache.GetPostRunning() = status.GetPostRunning() = state == 3 ? 1 : 0;
    cache.GetTime() = status.GetTime() = runState.GetFloat(6);
    const bool inError = gc6890::GCInError(words);
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
        remote.ready = state <= 1 && readiness.GetInt(1) == 1 ? 1 : 0;
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
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CIntFloatArray runState(kRunStateSlots);
    if (!QueryGC("GCHTRI", runState)) {
        LogCommsFailure("Failed to query prep running from GC\n");
        CaughtSerialCommsError();
        return scope.fail();
    }
    if (runState.GetInt(0) != 1)
        return scope.fail();
    return scope.commit();
}

int CVarnockGCSystem::MethodRunning()
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CIntFloatArray runState(kRunStateSlots);
    if (!QueryGC("GCHTRI", runState)) {
        LogCommsFailure("Failed to query method running from GC\n");
        CaughtSerialCommsError();
        return scope.fail();
    }
    // Pre-run, run, post-run and a fatal state all count as a method in hand.
    if (runState.GetInt(0) == 0)
        return scope.fail();
    return scope.commit();
}

int CVarnockGCSystem::PostRunning()
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CIntFloatArray runState(kRunStateSlots);
    if (!QueryGC("GCHTRI", runState)) {
        LogCommsFailure("Failed to query post running from GC\n");
        CaughtSerialCommsError();
        return scope.fail();
    }
    if (runState.GetInt(0) != 3)
        return scope.fail();
    return scope.commit();
}

int CVarnockGCSystem::NotReady(CString&)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CIntFloatArray runState(kRunStateSlots);
    if (!QueryGC("GCHTRI", runState)) {
        LogCommsFailure("Failed to query not ready from GC\n");
        CaughtSerialCommsError();
        scope.commit();  // no unlock-reset: the answer is not a negative one
        return 1;        // a GC that cannot be asked is not ready
    }
    if (runState.GetInt(0) == 0) {
        CIntFloatArray readiness(kReadinessSlots);
        if (!QueryGC("GCHTRY", readiness)) {
            LogCommsFailure("Failed to query not ready readiness from GC\n");
            CaughtSerialCommsError();
            scope.commit();
            return 1;
        }
        // Readiness 1 means ready, as in the status poll, so NotReady() answers 1 for a
        // GC that is not ready like its other answers (a run in any phase, a failed
        // query) do; a host asking "not ready?" expects exactly that.
        if (readiness.GetInt(1) == 1)
            return scope.fail();
    }
    return scope.commit();
}

int CVarnockGCSystem::Error(CString& reason)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CIntFloatArray words(kStatusWordSlots);
    if (!QueryGC("GCHTST", words)) {
        LogCommsFailure("Failed to query error state from GC\n");
        CaughtSerialCommsError();
        reason = "GC COMMS FAILED";
        scope.commit();  // no unlock-reset: the answer is not a negative one
        return 1;
    }
    if (!gc6890::GCInError(words))
        return scope.fail();
    return scope.commit();
}

// ---- live readings -----------------------------------------------------------------------

float CVarnockGCSystem::QueryReading(const GCReading& reading)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0.0f;
    CIntFloatArray values(reading.slots);
    if (!QueryGC(reading.command, values)) {
        LogCommsFailure(reading.failureText);
        CaughtSerialCommsError();
        scope.commit();  // a reading tells nobody of its failure
        return 0.0f;
    }
    if (!scope.commit())
        return 0.0f;
    if (reading.isFloat)
        return values.GetFloat(reading.slot);
    return static_cast<float>(values.GetInt(reading.slot) * reading.scale);
}

float CVarnockGCSystem::GetElapsedTime()
{
    return QueryReading(kElapsedTime);
}
float CVarnockGCSystem::GetCurrentOvenTemp()
{
    return QueryReading(kOvenTemperature);
}
float CVarnockGCSystem::GetCurrentColumnPressure()
{
    return QueryReading(kColumn1Pressure);
}
float CVarnockGCSystem::GetCurrentColumnFlow()
{
    return QueryReading(kColumn1Flow);
}
float CVarnockGCSystem::GetCurrentColumn2Pressure()
{
    return QueryReading(kColumn2Pressure);
}
float CVarnockGCSystem::GetCurrentColumn2Flow()
{
    return QueryReading(kColumn2Flow);
}
