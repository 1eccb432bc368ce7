#include "fake_instrument.h"

namespace gc6890::test {

void FakeInstrument::poll()
{
    ++view_.polls;
    if (answer_ == InjectionAnswer::Awaiting && --answerLeft_ <= 0) {
        if (lateRefusals.count(answerVial_))
            answer_ = InjectionAnswer::Refused;
        else
            accept();
    }
    view_.gcInRun = runLeft_ > 0;
    view_.samplerBusy = false;
    if (runLeft_ > 0)
        --runLeft_;
    if (notReadyPolls > 0)
        --notReadyPolls;
    view_.gcReady = !view_.gcInRun && notReadyPolls == 0 && (everReady || runs_ == 0);
    view_.notReady = view_.gcReady ? "" : "oven cooling";
}

std::string FakeInstrument::injected() const
{
    std::string vials;
    for (const std::string& entry : log)
        if (entry.starts_with("inject "))
            vials += (vials.empty() ? "" : " ") + entry.substr(7);
    return vials;
}

// A stand-in for the content's hash that names the method, so a test sees which one went.
std::string FakeInstrument::methodSha256(const std::string& method)
{
    return "sha256 of " + method;
}

bool FakeInstrument::load(const std::string& method, std::string& error)
{
    log.push_back("load " + method);
    if (badMethods.count(method)) {
        error = "no method " + method;
        return false;
    }
    return true;
}

void FakeInstrument::accept()
{
    log.push_back("inject " + std::to_string(answerVial_));
    answer_ = InjectionAnswer::Accepted;
    runLeft_ = runPolls;
    ++runs_;
}

bool FakeInstrument::startInjection(const std::string&, int vial, float, std::string& error)
{
    if (missingVials.count(vial)) {
        error = "vial " + std::to_string(vial) + " missing";
        return false;
    }
    answerVial_ = vial;
    if (lateAnswer) {
        answer_ = InjectionAnswer::Awaiting;
        answerLeft_ = answerPolls;
    } else
        accept();
    if (vial == killOnInjection)
        throw Killed{};
    return true;
}

InjectionAnswer FakeInstrument::injection(std::string& error)
{
    if (answer_ == InjectionAnswer::Refused)
        error = "vial " + std::to_string(answerVial_) + " not found in the tray";
    return answer_;
}

void FakeInstrument::stop()
{
    log.push_back("stop");
    runLeft_ = 0;
    if (answer_ == InjectionAnswer::Awaiting)
        answer_ = InjectionAnswer::Refused;
}

bool FakeInstrument::record(const std::string& method, float, std::string& text)
{
    log.push_back("record " + method);
    text = "record of " + method + "\n";
    return true;
}

nlohmann::json FakeInstrument::history(std::int64_t fromMs, std::int64_t toMs)
{
    return {{"time_ms", {fromMs, toMs}}};
}

}  // namespace gc6890::test
