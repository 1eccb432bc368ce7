#include "sim/instrument.h"

#include <algorithm>

namespace gc6890::sim {

namespace {

constexpr std::size_t kHeadsRemembered = 256;

Hardware hardwareOf(const GcSettings& gc)
{
    if (gc.hardware)
        return *gc.hardware;
    Hardware hardware;
    if (!gc.backInlet) {
        hardware.inlets[1].kind = InletKind::None;
        hardware.columns[1].installed = false;
    }
    hardware.ovenMaximum = gc.ovenLimit;
    return hardware;
}

}  // namespace

Instrument::Instrument(Clock& clock, SimConfig config)
    : clock_(clock), config_(std::move(config)), method_(hardwareOf(config_.gc))
{
    if (config_.gc.firmware.find("REV N") != std::string::npos &&
        config_.sampler.maxVolumeStep == SamplerSettings{}.maxVolumeStep)
        config_.sampler.maxVolumeStep += 1;  // that variant has one more volume step
    gc_ = std::make_unique<GcModel>(config_.gc, config_.faults, method_);
    sampler_ = std::make_unique<SamplerModel>(
        config_.sampler, config_.faults, *gc_,
        [this](const std::string& commandHead, const std::string& line) {
            const std::int64_t held =
                std::max<std::int64_t>(0, modelMs_ - receivedAtMs(commandHead));
            for (auto& out : applyReplyFaults(config_.faults, commandHead, line))
                queue(modelMs_, std::move(out), held, commandHead);
        });
    modelMs_ = clock_.nowMs();
}

void Instrument::advance()
{
    const std::int64_t now = clock_.nowMs();
    while (modelMs_ + kStepMs <= now) {
        modelMs_ += kStepMs;
        gc_->step(modelMs_, kStepMs / 1000.0);
        sampler_->step(modelMs_);
    }
    if (hangUpDueMs_ >= 0 && now >= hangUpDueMs_)
        hangUp();
}

bool Instrument::hangUpArmed() const
{
    return config_.faults.hangUpAfterLines >= 0 && hangUpsSoFar_ < config_.faults.hangUps &&
           !hungUp_;
}

void Instrument::hangUp()
{
    hungUp_ = true;
    hangUpDueMs_ = -1;
    ++hangUpsSoFar_;
    output_.clear();
}

void Instrument::reconnect()
{
    hungUp_ = false;
    hangUpDueMs_ = -1;
    linesReceived_ = 0;
}

void Instrument::receive(std::string_view text)
{
    if (hungUp_)
        return;
    advance();
    std::string lineText(text);
    if (!lineText.empty() && lineText.back() == '\r')
        lineText.pop_back();
    if (trace)
        trace('>', lineText);
    ++linesReceived_;
    if (config_.faults.silentAfterLines >= 0 && linesReceived_ > config_.faults.silentAfterLines)
        return;
    if (hangUpArmed()) {
        const Faults& f = config_.faults;
        if (f.hangUpDelayMs < 0 && linesReceived_ > f.hangUpAfterLines) {
            hangUp();
            return;
        }
        if (f.hangUpDelayMs >= 0 && linesReceived_ == f.hangUpAfterLines)
            hangUpDueMs_ = clock_.nowMs() + f.hangUpDelayMs;
    }
    const Line line = parseLine(lineText);
    const std::int64_t receivedMs = clock_.nowMs();
    if (receivedAtMs_.size() >= kHeadsRemembered && !receivedAtMs_.count(line.head))
        receivedAtMs_.clear();  // a host sending endless new heads does not grow the map
    receivedAtMs_[line.head] = receivedMs;
    if (config_.replay) {
        if (const Replay::Answer* answer = config_.replay->next(lineText)) {
            for (const Replay::AnswerLine& out : *answer) {
                const std::int64_t held = config_.replayTiming ? out.afterMs : 0;
                queue(receivedMs + held, out.text, held, line.head);
            }
            return;
        }
        if (config_.unseenReplayLine)
            config_.unseenReplayLine(lineText, config_.replay->closest(lineText));
    }
    std::string reply;
    bool answered = false;
    if (!sampler_->handle(line, modelMs_, answered, reply)) {
        answered = gc_->handle(line, modelMs_, reply) == GcModel::Outcome::Reply;
    }
    // The trace names the rule behind a refused method check or install.
    if (trace && (line.head == "CCHTMC" || line.head == "CCHTMI") && !method_.refusal().empty())
        trace('!', method_.refusal());
    if (!answered)
        return;
    const bool late = faultApplies(config_.faults.late, line.head);
    const std::int64_t due = modelMs_ + (late ? config_.faults.lateMs : 0);
    const std::int64_t held = std::max<std::int64_t>(0, due - receivedMs);
    for (auto& out : applyReplyFaults(config_.faults, line.head, reply))
        queue(due, std::move(out), held, line.head);
}

std::int64_t Instrument::receivedAtMs(const std::string& head) const
{
    const auto found = receivedAtMs_.find(head);
    return found == receivedAtMs_.end() ? modelMs_ : found->second;
}

void Instrument::queue(std::int64_t dueMs, std::string text, std::int64_t heldMs,
                       std::string commandHead)
{
    // Keep the queue ordered by due time; equal times keep their order.
    auto at = std::upper_bound(output_.begin(), output_.end(), dueMs,
                               [](std::int64_t due, const Pending& p) { return due < p.dueMs; });
    output_.insert(at, Pending{dueMs, std::move(text), heldMs, std::move(commandHead)});
}

std::optional<std::string> Instrument::takeDue()
{
    if (hungUp_ || output_.empty() || output_.front().dueMs > clock_.nowMs())
        return std::nullopt;
    Pending answer = std::move(output_.front());
    output_.pop_front();
    if (trace && answer.heldMs > 0)
        trace('~', "held " + std::to_string(answer.heldMs) + " ms after " + answer.commandHead);
    std::string text = std::move(answer.text);
    if (trace)
        trace('<', text);
    return text;
}

std::int64_t Instrument::nextDueMs() const
{
    return output_.empty() ? -1 : output_.front().dueMs;
}

std::int64_t Instrument::nextEventMs() const
{
    return sampler_->timed() ? modelMs_ + kStepMs : -1;
}

}  // namespace gc6890::sim
