#include "service/sequence_instrument_link.h"

#include "audit/sha256.h"
#include "service/instrument_thread.h"
#include "service/method_store.h"

namespace gc6890 {

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
