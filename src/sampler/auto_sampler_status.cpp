// Status, stop and reset: the "01HTSTATUS" question and its five readings, the status
// read with the shared status block for the registration window, the stop and the
// return-all.
#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/line_failure.h"
#include "comms/lock_out_scope.h"
#include "comms/reg_remote_window.h"
#include "sampler/sampler_commands.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

// The status code is the seventh number of the answer.
constexpr int kStatusCodeSlot = 6;
constexpr const char* kStatusCommand = "01HTSTATUS";
constexpr const char* kStopCommand = "01HTSTOP";
constexpr const char* kReturnAllCommand = "01HTRTN_ALL";
constexpr const char* kReturnAllAnswerHead = "HT01RTN_ALL";

}  // namespace

gc6890::SamplerRemoteData CVarnockAutoSampler::m_sStatusBlock;

tag_ALS_STATUS CVarnockAutoSampler::GetALSStatus()
{
    if (!m_pSerialComms)
        return ALS_ERROR;
    gc6890::LockOutScope scope;  // the sampler tells nobody of a failure
    if (!scope.held())
        return ALS_ERROR;
    // The answer must carry all seven numbers; the channel refuses a shorter one.
    CIntFloatArray answer(kStatusAnswerFields);
    answer.Clear();
    if (!m_pSerialComms->SendAndReceiveToALS(kStatusCommand, answer)) {
        CaughtSerialCommsError();
        scope.fail();
        return ALS_ERROR;
    }
    const int code = answer.GetInt(kStatusCodeSlot);
    if (code < ALS_READY || code > ALS_POST_RUN) {
        gc6890::NoteLineFailure(
            gc6890::LineFailureKind::WrongAnswer,
            gc6890::format("the sampler's status code %d is none it has", code));
        CaughtSerialCommsError();
        scope.fail();
        return ALS_ERROR;
    }
    return scope.commit() ? static_cast<tag_ALS_STATUS>(code) : ALS_ERROR;
}

int CVarnockAutoSampler::Injecting()
{
    return GetALSStatus() == ALS_INJECTING ? 1 : 0;
}

int CVarnockAutoSampler::MethodRunning()
{
    const tag_ALS_STATUS status = GetALSStatus();
    return status == ALS_BUSY || status == ALS_INJECTING || status == ALS_POST_RUN ? 1 : 0;
}

int CVarnockAutoSampler::PostRunning()
{
    return GetALSStatus() == ALS_POST_RUN ? 1 : 0;
}

int CVarnockAutoSampler::NotReady(CString&)
{
    return GetALSStatus() != ALS_READY ? 1 : 0;
}

int CVarnockAutoSampler::Error(CString&)
{
    return GetALSStatus() == ALS_ERROR ? 1 : 0;
}

// A failed exchange inside the body is no failed read: the body has broadcast it and shows
// it as the record's Error and NotReady flags. Only a failed restart or a caught failure
// exception fails the read, and is broadcast here.
int CVarnockAutoSampler::ReadStatus(CInletSystemStatus& status)
{
    int read = 0;
    try {
        if (m_sCommsRestartFailed) {
            // The restored channel never started: report it as no channel, then as failed.
            CHP6890SerialComms* channel = m_pSerialComms;
            m_pSerialComms = nullptr;
            ReadStatusBody(status);
            m_pSerialComms = channel;
            m_sCommsRestartFailed = 0;
        } else {
            read = ReadStatusBody(status);
        }
    } catch (CUserException* failure) {
        failure->Delete();
        read = 0;
    }
    if (!read) {
        CaughtSerialCommsError();
        return 0;
    }
    return 1;
}

void CVarnockAutoSampler::SendStatusBlockIfChanged(bool force)
{
    if (!m_pRegRemoteWindow)
        return;
    if (!force && m_pRegRemoteWindow->m_DataBlock == m_sStatusBlock)
        return;
    m_pRegRemoteWindow->m_DataBlock = m_sStatusBlock;
    m_pRegRemoteWindow->SendDataOut();
}

int CVarnockAutoSampler::ReadStatusBody(CInletSystemStatus& status)
{
    gc6890::SamplerRemoteData& block = m_sStatusBlock;
    auto report = [&] {
        status.GetNotReady() |= block.ready ? 0 : 1;
        status.GetError() |= static_cast<int>(block.error);
        status.GetInjecting() |= static_cast<int>(block.busy);
        status.GetRunning() |= static_cast<int>(block.busy);
    };

    if (LockedOut()) {
        // No exchange while anyone holds the lock-out; a wait of our own shows as busy.
        block.ready = block.ready && !m_bWaitingForInjectResponse;
        block.busy = block.busy || m_bWaitingForInjectResponse;
        report();
        SendStatusBlockIfChanged(false);
        return 1;
    }

    if (!m_pSerialComms) {
        m_bStatusSendPending = 1;
        if (m_pRegRemoteWindow) {
            const gc6890::SamplerRemoteData failed = {
                .error = 1,
                .ready = 0,
                .busy = 0,
                .frontInletConfigured = static_cast<std::uint32_t>(m_bFrontInletConfigured),
                .backInletConfigured = static_cast<std::uint32_t>(m_bBackInletConfigured),
                .frontInjectorPresent = static_cast<std::uint32_t>(m_bFrontInjectorPresent),
                .backInjectorPresent = static_cast<std::uint32_t>(m_bBackInjectorPresent)};
            if (!(m_pRegRemoteWindow->m_DataBlock == failed)) {
                m_pRegRemoteWindow->m_DataBlock = failed;
                m_pRegRemoteWindow->SendDataOut();
            }
        }
        return 1;
    }

    const tag_ALS_STATUS state = GetALSStatus();
    block.error = state == ALS_ERROR;
    block.busy = state == ALS_BUSY || state == ALS_INJECTING || state == ALS_POST_RUN;
    block.ready = state == ALS_READY;
    block.frontInletConfigured = static_cast<std::uint32_t>(m_bFrontInletConfigured);
    block.backInletConfigured = static_cast<std::uint32_t>(m_bBackInletConfigured);
    block.frontInjectorPresent = static_cast<std::uint32_t>(m_bFrontInjectorPresent);
    block.backInjectorPresent = static_cast<std::uint32_t>(m_bBackInjectorPresent);

    if (m_bWaitingForInjectResponse && m_bInjectResponseDone) {
        // The timer window settled the injection's answer: take it, and after a refusal
        // bring the sampler back to its rest position.
        m_bWaitingForInjectResponse = 0;
        m_bInjectResponseDone = 0;
        block.error = block.error || !m_bInjectResponseOK;
        if (block.error)
            ResetSampler();
    }
    report();
    if (m_pRegRemoteWindow) {
        const bool pending = m_bStatusSendPending != 0;
        m_bStatusSendPending = 0;
        SendStatusBlockIfChanged(pending);
    }
    return 1;
}

int CVarnockAutoSampler::ReturnAll()
{
    CString command = kReturnAllCommand;
    if (!m_pSerialComms->WriteStringToALS(command, 0)) {
        CaughtSerialCommsError();
        return 0;
    }
    CString reply;
    bool read = false;
    for (int attempt = 0; attempt < kReturnAllReadAttempts && !read; ++attempt)
        read = m_pSerialComms->ReceiveStringFromALS(reply, 0) != 0;
    if (!read || reply.Find(kReturnAllAnswerHead) < 0) {
        CaughtSerialCommsError();
        return 0;
    }
    return gc6890::sampler::AnswerCode(reply) == 0 ? 1 : 0;
}

int CVarnockAutoSampler::StopMethod()
{
    if (m_bWaitingForInjectResponse && m_pCallbackWnd) {
        // The stop ends the wait for the injection's answer and the lock-out it held.
        m_pCallbackWnd->DestroyWindow();
        delete m_pCallbackWnd;
        m_pCallbackWnd = nullptr;
        m_bWaitingForInjectResponse = 0;
        FreeLock();
    }
    if (!m_pSerialComms)
        return 0;
    CString command = kStopCommand;
    if (!m_pSerialComms->WriteStringToALS(command, 0))
        return 0;
    CString reply;
    if (!m_pSerialComms->ReceiveStringFromALS(reply, 0))
        return 0;
    // The stop aborted an injection whose late answer was still owed.
    if (reply.Find(gc6890::sampler::kLateAnswerHead) >= 0 &&
        gc6890::sampler::AnswerCode(reply) == 0) {
        m_bInjectResponseDone = 1;
        m_bInjectResponseOK = 0;
        return 0;
    }
    return ReturnAll();
}

int CVarnockAutoSampler::ResetSampler()
{
    gc6890::LockOutScope scope;  // the sampler tells nobody of a failure
    if (!scope.held())
        return 0;
    if (!m_pSerialComms)
        return scope.fail();
    // The stop's own answer is not awaited: the return-all that follows takes its place.
    CString command = kStopCommand;
    if (!m_pSerialComms->WriteStringToALS(command, 0))
        return scope.fail();
    const int returned = ReturnAll();
    const int freed = scope.commit();
    return returned && freed ? 1 : 0;
}
