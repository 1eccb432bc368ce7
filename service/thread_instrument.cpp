#include "service/thread_instrument.h"

#include "external/inlet_utils.h"
#include "service/instrument_thread.h"
#include "service/method_store.h"

namespace gc6890 {

nlohmann::json historyJson(const std::vector<HistorySample>& samples)
{
    nlohmann::json body;
    nlohmann::json& time = body["time_ms"] = nlohmann::json::array();
    nlohmann::json& oven = body["oven_temperature"] = nlohmann::json::array();
    nlohmann::json& p1 = body["column1_pressure"] = nlohmann::json::array();
    nlohmann::json& p2 = body["column2_pressure"] = nlohmann::json::array();
    nlohmann::json& f1 = body["column1_flow"] = nlohmann::json::array();
    nlohmann::json& f2 = body["column2_flow"] = nlohmann::json::array();
    nlohmann::json& run = body["run_state"] = nlohmann::json::array();
    for (const HistorySample& sample : samples) {
        time.push_back(sample.timeMs);
        oven.push_back(tidyReading(sample.ovenTemperature));
        p1.push_back(tidyReading(sample.column1Pressure));
        p2.push_back(tidyReading(sample.column2Pressure));
        f1.push_back(tidyReading(sample.column1Flow));
        f2.push_back(tidyReading(sample.column2Flow));
        run.push_back(runStateName(static_cast<RunState>(sample.runState)));
    }
    return body;
}

InjectionAnswer sequenceInjectionAnswer(CAutoSampler& sampler, bool& awaiting)
{
    if (!awaiting)
        return InjectionAnswer::Accepted;
    const InjectionWait wait = injectionWait(sampler);
    if (wait == InjectionWait::Awaiting)
        return InjectionAnswer::Awaiting;
    awaiting = false;
    // None: settled and taken up by a sampler poll, or ended by a stop.
    const bool accepted = wait == InjectionWait::Accepted ||
                          (wait == InjectionWait::None && injectionAnswerOk(sampler));
    return accepted ? InjectionAnswer::Accepted : InjectionAnswer::Refused;
}

bool ThreadInstrument::load(const std::string& method, std::string& error)
{
    InstrumentThread& t = thread_;
    t.lastBox_.clear();
    if (!t.gc_->LoadMethod(CString(method))) {
        error = t.failureWithBox("the GC did not take the method " + method);
        return false;
    }
    if (!t.sampler_->LoadMethod(CString(method))) {
        error = t.failureWithBox("the sampler did not take the method " + method);
        return false;
    }
    return true;
}

bool ThreadInstrument::startInjection(const std::string& method, int vial, float volume,
                                      std::string& error)
{
    // As the run job injects: the sampler's part, then the GC's start, which sends nothing.
    InstrumentThread& t = thread_;
    t.lastBox_.clear();
    awaiting_ = false;
    const std::string text = std::to_string(vial);
    if (!t.sampler_->StartMethod(CString(method), CString(text), volume)) {
        error = t.failureWithBox("the sampler did not start the injection from vial " + text);
        return false;
    }
    t.state_.jobs.runStarted();
    if (!t.gc_->StartMethod()) {
        error = t.failureWithBox("the GC did not start");
        return false;
    }
    awaiting_ = injectionWait(*t.sampler_) != InjectionWait::None;
    return true;
}

InjectionAnswer ThreadInstrument::injection(std::string& error)
{
    InstrumentThread& t = thread_;
    const InjectionAnswer answer = sequenceInjectionAnswer(*t.sampler_, awaiting_);
    if (answer == InjectionAnswer::Refused)
        error = t.failureWithBox("the sampler refused the injection");
    return answer;
}

void ThreadInstrument::stop()
{
    InstrumentThread& t = thread_;
    t.sampler_->StopMethod();
    t.gc_->StopMethod();
}

InstrumentView ThreadInstrument::view()
{
    return thread_.view_;
}

bool ThreadInstrument::record(const std::string& method, float volume, std::string& text)
{
    return thread_.writeRecord(MethodStore(methodFolder()).path(method), volume, text);
}

nlohmann::json ThreadInstrument::history(std::int64_t fromMs, std::int64_t toMs)
{
    std::vector<HistorySample> samples = thread_.state_.history.since(fromMs);
    std::erase_if(samples, [toMs](const HistorySample& s) { return s.timeMs > toMs; });
    return historyJson(samples);
}

}  // namespace gc6890
