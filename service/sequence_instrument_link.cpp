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

InjectionAnswer sequenceInjectionAnswer(Instrument& instrument, bool& awaiting)
{
    if (!awaiting)
        return InjectionAnswer::Accepted;
    const InjectionWait wait = instrument.injectionWait();
    if (wait == InjectionWait::Awaiting)
        return InjectionAnswer::Awaiting;
    awaiting = false;
    // None: settled and taken up by a sampler poll, or ended by a stop.
    const bool accepted = wait == InjectionWait::Accepted ||
                          (wait == InjectionWait::None && instrument.injectionAnswerOk());
    return accepted ? InjectionAnswer::Accepted : InjectionAnswer::Refused;
}

bool SequenceInstrumentLink::load(const std::string& method, std::string& error)
{
    return thread_.loadMethod(method, error);
}

std::string SequenceInstrumentLink::methodSha256(const std::string& method)
{
    return fileSha256(MethodStore(methodFolder()).path(method));
}

bool SequenceInstrumentLink::startInjection(const std::string& method, int vial, float volume,
                                            std::string& error)
{
    awaiting_ = false;
    if (!thread_.startInjection(method, vial, volume, error))
        return false;
    awaiting_ = thread_.instrument().injectionWait() != InjectionWait::None;
    return true;
}

InjectionAnswer SequenceInstrumentLink::injection(std::string& error)
{
    const InjectionAnswer answer = sequenceInjectionAnswer(thread_.instrument(), awaiting_);
    if (answer == InjectionAnswer::Refused)
        error = thread_.withMessageBox("the sampler refused the injection");
    return answer;
}

void SequenceInstrumentLink::stop()
{
    thread_.instrument().stop();
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
