#include "sim/sampler_model.h"

#include <cctype>

namespace gc6890::sim {

namespace {

constexpr std::size_t kGroupValues = 13;
constexpr int kMaxSetPointValue = 9999;

bool parseWholeNumber(const std::string& text, int& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;
    std::size_t digits = i;
    if (text[digits] == '-' || text[digits] == '+')
        ++digits;
    if (digits == text.size())
        return false;
    for (std::size_t k = digits; k < text.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return false;
    value = intOr(text.substr(i), 0);
    return true;
}

}  // namespace

SamplerModel::SamplerModel(const SamplerSettings& settings, const Faults& faults, GcModel& gc,
                           Emit emit)
    : settings_(settings), faults_(faults), gc_(gc), emit_(std::move(emit))
{}

bool SamplerModel::handle(const Line& line, std::int64_t nowMs, bool& answered, std::string& reply)
{
    answered = true;
    const std::string head = replyHead(line);
    if (line.head == "ASHTCW") {
        // Tray fitted, front tower, back tower, bar code reader.
        reply = head + (settings_.installed ? " 1," : " 0,") + (settings_.frontTower ? "1" : "0") +
                "," + (settings_.backTower ? "1" : "0") + ",0";
        return true;
    }
    if (line.receiver != "01" || line.sender != "HT")
        return false;

    const std::string& op = line.operation;
    if (op == "STOP") {
        // Answered once the stop has taken effect; a return-all that comes first takes
        // its place (see docs/simulator.md).
        answered = false;
        if (!gc_.portOpen(1))
            stopAnswer_ = head + " " + std::to_string(kSamplerPortClosed);
        else if (answerOwed_)
            stopAnswer_ = "HT01SINJECT " + std::to_string(kSamplerAborted);
        else
            stopAnswer_ = head + " 0";
        stopAnswerDueMs_ = nowMs + settings_.stopSettleMs;
        stopHead_ = line.head;
        if (gc_.portOpen(1))
            cancelInjection();
        return true;
    }
    if (!gc_.portOpen(1)) {
        reply = head + " " + std::to_string(kSamplerPortClosed);
        return true;
    }
    if (op == "STATUS") {
        reply = head + " " + (settings_.frontTower ? "1" : "0") + "," +
                (settings_.backTower ? "1" : "0") + ",1," + std::to_string(vial_) + "," +
                std::to_string(injections_) + ",0," + std::to_string(statusCode());
    } else if (op == "RTN_ALL") {
        stopAnswerDueMs_ = -1;
        cancelInjection();
        vial_ = 0;
        reply = head + " 0";
    } else if (op == "SETPTS") {
        const int code = validateSetPoints(line.argText);
        if (code == kSamplerOk)
            setPoints_ = line.argText;
        reply = head + " " + std::to_string(code);
    } else if (op == "SINJECT") {
        const int code = startInjection(line.argText, nowMs);
        if (code == kSamplerOk && settings_.answer == InjectionAnswer::Late) {
            answered = false;
        } else {
            reply = head + " " + std::to_string(code);
        }
    } else {
        reply = head + " " + std::to_string(kSamplerSyntax);
    }
    return true;
}

int SamplerModel::validateSetPoints(const std::string& text) const
{
    if (phase_ != Phase::Idle)
        return kSamplerBusy;
    const auto parts = split(text, ';');
    if (parts.size() != 3)
        return kSamplerSyntax;
    bool anyGroup = false;
    for (std::size_t g = 0; g < 2; ++g) {
        const auto fields = split(parts[g], ',');
        if (fields.size() != kGroupValues)
            return kSamplerSyntax;
        bool empty = true;
        for (const auto& field : fields)
            empty = empty && field.empty();
        if (empty)
            continue;
        anyGroup = true;
        if (!(g == 0 ? settings_.frontTower : settings_.backTower))
            return kSamplerNoTower;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            int value = 0;
            if (!parseWholeNumber(fields[i], value))
                return kSamplerSyntax;
            const int low = i == 0 ? 1 : 0;
            const int high = i == 0 ? settings_.maxVolumeStep : kMaxSetPointValue;
            if (value < low || value > high)
                return kSamplerOutOfRange;
        }
    }
    const auto trailer = split(parts[2], ',');
    int value = 0;
    if (!anyGroup || trailer.size() != 2 || !parseWholeNumber(trailer[0], value) ||
        !parseWholeNumber(trailer[1], value))
        return kSamplerSyntax;
    return kSamplerOk;
}

// "v" front, ";v" back, "v;w" both towers.
int SamplerModel::startInjection(const std::string& text, std::int64_t nowMs)
{
    const auto parts = split(text, ';');
    if (parts.size() > 2)
        return kSamplerSyntax;
    const std::string front = parts[0];
    const std::string back = parts.size() > 1 ? parts[1] : std::string();
    if (front.empty() && back.empty())
        return kSamplerSyntax;
    int owed = kSamplerOk;
    int firstVial = 0;
    for (int side = 0; side < 2; ++side) {
        const std::string& field = side == 0 ? front : back;
        if (field.empty())
            continue;
        int vial = 0;
        if (!parseWholeNumber(field, vial))
            return kSamplerSyntax;
        if (vial < 1 || vial > settings_.trayPositions)
            return kSamplerOutOfRange;
        if (!(side == 0 ? settings_.frontTower : settings_.backTower))
            return kSamplerNoTower;
        if (settings_.missingVials.count(vial))
            owed = kSamplerNoVial;
        if (firstVial == 0)
            firstVial = vial;
    }
    if (phase_ != Phase::Idle || gc_.runState() == GcModel::RunState::Run)
        return kSamplerBusy;
    // Told at once, a missing vial is refused at once; answering late, the sampler finds
    // it missing only when the arm reaches the tray.
    if (owed != kSamplerOk && settings_.answer == InjectionAnswer::Immediate)
        return owed;
    phase_ = Phase::Preparing;
    phaseStartMs_ = nowMs;
    vial_ = firstVial;
    owedCode_ = owed;
    answerOwed_ = settings_.answer == InjectionAnswer::Late;
    return kSamplerOk;
}

void SamplerModel::cancelInjection()
{
    phase_ = Phase::Idle;
    answerOwed_ = false;
    owedCode_ = kSamplerOk;
}

void SamplerModel::step(std::int64_t nowMs)
{
    if (stopAnswerDueMs_ >= 0 && nowMs >= stopAnswerDueMs_) {
        stopAnswerDueMs_ = -1;
        emit_(stopHead_, stopAnswer_);
    }
    auto answerLate = [&](int code) {
        if (answerOwed_ && !faults_.lostInjectionAnswer)
            emit_("01HTSINJECT", "HT01SINJECT " + std::to_string(code));
        answerOwed_ = false;
    };
    if (phase_ == Phase::Preparing && nowMs - phaseStartMs_ >= settings_.prepareMs) {
        if (owedCode_ != kSamplerOk) {
            answerLate(owedCode_);
            cancelInjection();
        } else if (gc_.readyForInjection()) {
            // The injection starts the GC run.
            phase_ = Phase::Injecting;
            phaseStartMs_ = nowMs;
            gc_.startRun(nowMs);
            ++injections_;
            if (onInjection)
                onInjection(vial_);
            answerLate(kSamplerOk);
        }
    } else if (phase_ == Phase::Injecting && nowMs - phaseStartMs_ >= settings_.injectMs) {
        phase_ = Phase::Idle;
    }
}

int SamplerModel::statusCode() const
{
    if (phase_ == Phase::Preparing)
        return 1;
    if (phase_ == Phase::Injecting)
        return 2;
    switch (gc_.runState()) {
    case GcModel::RunState::Run:
        return 1;
    case GcModel::RunState::PostRun:
        return 3;
    default:
        return 0;
    }
}

}  // namespace gc6890::sim
