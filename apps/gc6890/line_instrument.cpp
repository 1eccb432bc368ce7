#include "line_instrument.h"

#include "cli_error.h"
#include "console.h"
#include "method_files.h"
#include "sequence/sequence_file.h"
#include "service/snapshot.h"
#include "service/thread_instrument.h"
#include "station/sampler_poll.h"

namespace gc6890::cli {

namespace {

constexpr std::size_t kKeptSamples = 24 * 3600;

}  // namespace

LineInstrument::LineInstrument(Session& session, std::string sequenceFile)
    : session_(session), sequenceFile_(std::move(sequenceFile))
{}

void LineInstrument::poll()
{
    CInletSystemStatus gc;
    CInletSystemStatus sampler;
    const bool ok = session_.gc().ReadStatus(gc) != 0 && pollSampler(session_.sampler(), sampler) &&
                    gc.GetErrorInfo().Find("SERIAL COMMS FAILURE") < 0;
    view_.lineUp = ok;
    if (!ok)
        return;
    ++view_.polls;
    const RunState run = gc.GetPostRunning() ? RunState::PostRun
                         : gc.GetRunning()   ? RunState::Run
                                             : RunState::Idle;
    view_.gcInRun = run != RunState::Idle;
    view_.gcReady = gc.GetNotReady() == 0;
    view_.notReady = gc.GetNotReadyInfo().str();
    view_.samplerBusy = sampler.GetInjecting() != 0;
    if (samples_.size() >= kKeptSamples)
        samples_.erase(samples_.begin(), samples_.begin() + kKeptSamples / 10);
    samples_.push_back(HistorySample{.timeMs = unixNowMs(),
                                     .ovenTemperature = gc.GetTemperatureLeft(),
                                     .column1Pressure = gc.GetHighPressure(),
                                     .column1Flow = gc.GetFlow(),
                                     .runState = static_cast<std::int32_t>(run)});
}

std::string LineInstrument::methodFile(const std::string& method, std::string& error) const
{
    try {
        return loadMethodFile(sequenceMethodFile(sequenceFile_, method)).fileName;
    } catch (const CommandFailure& failure) {
        error = failure.what();
        return {};
    }
}

std::string LineInstrument::withBox(const std::string& what, const std::string& boxBefore) const
{
    const std::string& box = lastMessageBox();
    return box.empty() || box == boxBefore ? what : what + ": " + box;
}

bool LineInstrument::load(const std::string& method, std::string& error)
{
    const std::string file = methodFile(method, error);
    if (file.empty())
        return false;
    const std::string box = lastMessageBox();
    if (!session_.gc().LoadMethod(CString(file))) {
        error = withBox("the GC did not take the method " + file, box);
        return false;
    }
    if (!session_.sampler().LoadMethod(CString(file))) {
        error = withBox("the sampler did not take the method " + file, box);
        return false;
    }
    return true;
}

bool LineInstrument::startInjection(const std::string& method, int vial, float volume,
                                    std::string& error)
{
    const std::string file = methodFile(method, error);
    if (file.empty())
        return false;
    const std::string box = lastMessageBox();
    awaiting_ = false;
    const std::string text = std::to_string(vial);
    if (!session_.sampler().StartMethod(CString(file), CString(text), volume)) {
        error = withBox("the sampler did not start the injection from vial " + text, box);
        return false;
    }
    if (!session_.gc().StartMethod()) {
        error = withBox("the GC did not start", box);
        return false;
    }
    awaiting_ = injectionWait(session_.sampler()) != InjectionWait::None;
    return true;
}

InjectionAnswer LineInstrument::injection(std::string& error)
{
    const InjectionAnswer answer = sequenceInjectionAnswer(session_.sampler(), awaiting_);
    if (answer == InjectionAnswer::Refused)
        error = "the sampler refused the injection";
    return answer;
}

void LineInstrument::stop()
{
    session_.sampler().StopMethod();
    session_.gc().StopMethod();
}

bool LineInstrument::record(const std::string& method, float volume, std::string& text)
{
    std::string error;
    const std::string file = methodFile(method, error);
    CGenericExpRecord record;
    const CString name(file);
    if (file.empty() || !session_.gc().WriteExpRecord(&record, name) ||
        !session_.sampler().WriteExpRecord(&record, name))
        return false;
    session_.sampler().WriteInjectionVolume(&record, volume);
    text = record.Text();
    return true;
}

nlohmann::json LineInstrument::history(std::int64_t fromMs, std::int64_t toMs)
{
    std::vector<HistorySample> picked;
    for (const HistorySample& sample : samples_) {
        if (sample.timeMs >= fromMs && sample.timeMs <= toMs)
            picked.push_back(sample);
    }
    return historyJson(picked);
}

}  // namespace gc6890::cli
