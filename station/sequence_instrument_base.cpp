#include "station/sequence_instrument_base.h"

#include "station/run_state.h"
#include "station/safe_text.h"

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

}  // namespace gc6890
