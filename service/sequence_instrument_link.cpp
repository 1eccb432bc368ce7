#include "service/sequence_instrument_link.h"

#include "audit/sha256.h"
#include "external/inlet_utils.h"
#include "service/instrument_thread.h"
#include "service/method_store.h"
#include "service/safe_text.h"

namespace gc6890 {

InstrumentView sequenceView(const InstrumentStatus& status, std::uint64_t polls)
{
    return InstrumentView{.polls = polls,
                          .lineUp = true,
                          .gcInRun = runUnderWay(status.runState),
                          .gcReady = status.gcReady,
                          .notReady = validUtf8(status.gcNotReadyText),
                          .samplerBusy = status.samplerInjecting};
}

bool SequenceInstrumentBase::startInjection(const std::string& method, int vial, float volume,
                                            std::string& error)
{
    awaiting_ = false;
    if (!beginInjection(method, vial, volume, error))
        return false;
    awaiting_ = instrument_.injectionWait() != InjectionWait::None;
    return true;
}

InjectionAnswer SequenceInstrumentBase::injection(std::string& error)
{
    if (!awaiting_)
        return InjectionAnswer::Accepted;
    const InjectionWait wait = instrument_.injectionWait();
    if (wait == InjectionWait::Awaiting)
        return InjectionAnswer::Awaiting;
    awaiting_ = false;
    // None: settled and taken up by a sampler poll, or ended by a stop.
    if (wait == InjectionWait::Accepted ||
        (wait == InjectionWait::None && instrument_.injectionAnswerOk()))
        return InjectionAnswer::Accepted;
    error = refusalText("the sampler refused the injection");
    return InjectionAnswer::Refused;
}

SequenceInstrumentLink::SequenceInstrumentLink(InstrumentThread& thread, ServiceState& state)
    : SequenceInstrumentBase(thread.instrument()), thread_(thread), state_(state)
{}

bool SequenceInstrumentLink::load(const std::string& method, std::string& error)
{
    return thread_.loadMethod(method, error);
}

std::string SequenceInstrumentLink::methodSha256(const std::string& method)
{
    return fileSha256(MethodStore(methodFolder()).path(method));
}

bool SequenceInstrumentLink::beginInjection(const std::string& method, int vial, float volume,
                                            std::string& error)
{
    return thread_.startInjection(method, vial, volume, error);
}

std::string SequenceInstrumentLink::refusalText(const std::string& what)
{
    return thread_.withMessageBox(what);
}

InstrumentView SequenceInstrumentLink::view()
{
    return thread_.view();
}

bool SequenceInstrumentLink::record(const std::string& method, float volume, std::string& text)
{
    return thread_.writeRecord(MethodStore(methodFolder()).path(method), volume, text);
}

nlohmann::json SequenceInstrumentLink::history(std::int64_t fromMs, std::int64_t toMs)
{
    return historyJson(state_.history.since(fromMs, toMs));
}

}  // namespace gc6890
