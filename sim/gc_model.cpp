#include "sim/gc_model.h"

#include "method/method_rules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace gc6890::sim {

namespace {

constexpr double kMsPerMinute = 60000.0;
constexpr int kInvalidOperation = 7;
constexpr int kBusyWhileRunning = 27;
constexpr int kPassThroughBusy = 14;
constexpr std::size_t kRunTableEntries = 25;
constexpr std::uint32_t kOvenNotReadyBit = 1u << 26;

// Modules that answer an echo test; "AS" is the sampler behind pass-through port 1.
const std::set<std::string> kModules = {"CC", "GC", "S1", "S2", "SS", "OV", "DF", "DB", "IF",
                                        "C1", "C2", "A1", "A2", "A3", "A4", "A5", "V1", "V2",
                                        "V3", "V4", "V5", "V6", "V7", "V8", "DT", "AS"};

std::string fitted(const std::string& text, std::size_t width)
{
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::string asSigned(std::uint32_t bits)
{
    return std::to_string(static_cast<std::int32_t>(bits));
}

}  // namespace

GcModel::GcModel(const GcSettings& settings, const Faults& faults, StoredMethod& method)
    : settings_(settings), faults_(faults), method_(method)
{
    ovenTemperature_ = settings_.startCold ? settings_.ambient : initialTemperature();
    // A warm start counts as equilibrated long ago.
    settledSinceMs_ = settings_.startCold ? -1 : std::numeric_limits<std::int64_t>::min() / 2;
    if (settings_.autoPrepRun)
        state_ = RunState::PreRun;
}

GcModel::Outcome GcModel::handle(const Line& line, std::int64_t nowMs, std::string& reply)
{
    nowMs_ = nowMs;
    const std::string& address = line.receiver;
    if (line.head == "V7V7SW") {  // the contact-closure output, addressed valve to valve
        contactClosure_ = intOr(line.arg(0), 0);
        return Outcome::Silent;
    }
    if (line.sender != "HT" || line.head.size() != 6)
        return Outcome::NotMine;
    const std::string reHead = replyHead(line);
    const std::string& op = line.operation;

    if (op == "EO") {
        if (!kModules.count(address) || (address == "IB" && !settings_.backInlet) ||
            faults_.silentEchoAddresses.count(address))
            return Outcome::NotMine;
        reply = reHead + " " + line.argText;
        return Outcome::Reply;
    }
    if (!kModules.count(address) && address != "IB")
        return Outcome::NotMine;

    const std::string& head = line.head;
    // Commands the GC takes without answering.
    if (head == "GCHTD1" || head == "GCHTD2" || head == "GCHTD3" || head == "GCHTD4") {
        display_[static_cast<std::size_t>(head[5] - '1')] = line.argText;
        return Outcome::Silent;
    }
    if (head == "GCHTDL") {
        display_ = {};
        return Outcome::Silent;
    }
    if (op == "TZ" && (address == "OV" || address == "IF" || address == "BF")) {
        if (intOr(line.arg(0), 1) != 0)
            zonesOff_.erase(address);
        else
            zonesOff_.insert(address);
        return Outcome::Silent;
    }
    if (head == "GCHTRT") {
        addRunTableEntry(line);
        return Outcome::Silent;
    }
    if (op == "CF" && head != "GCHTCF" && method_.applyConfiguration(line))
        return Outcome::Silent;
    if (op == "CR" && method_.applyConfiguration(line))
        return Outcome::Silent;

    // Commands that are answered.
    if (head == "CCHTID") {
        reply =
            reHead + " " + fitted(settings_.product, 10) + ", " + fitted(settings_.firmware, 11);
    } else if (head == "CCHTPO" || head == "CCHTPC") {
        const std::string digit = line.arg(0);
        int port = -1;
        if (digit.size() == 1 && std::isxdigit(static_cast<unsigned char>(digit[0])))
            port = std::stoi(digit, nullptr, 16);
        if (port < 0)
            reply = reHead + " 2";
        else if (op == "PC") {
            openPorts_.erase(port);
            portFreed_ = true;
            reply = reHead + " 0";
        } else if (faults_.busyPort == BusyPort::Always ||
                   (faults_.busyPort == BusyPort::UntilClosed && !portFreed_)) {
            reply = reHead + " " + std::to_string(kPassThroughBusy);
        } else {
            openPorts_.insert(port);
            reply = reHead + " 0";
        }
    } else if (head == "GCHTRI") {
        reply = reHead + " " + answerRunState();
    } else if (head == "GCHTRY") {
        reply = reHead + " " + answerReadiness();
    } else if (head == "GCHTST") {
        reply = reHead + " " + answerStatusWords();
    } else if (head == "OVHTST") {
        reply = reHead + " " + std::to_string(std::lround(ovenSetpoint())) + "," +
                (zoneOn("OV") ? "1" : "0") + "," + std::to_string(std::lround(ovenTemperature_));
    } else if ((address == "C1" || address == "C2") && (op == "PI" || op == "FI")) {
        const int column = address == "C1" ? 1 : 2;
        const double value =
            op == "PI" ? columnPressure(column) * 10000.0 : columnFlow(column) * 1000.0;
        reply = reHead + " " + std::to_string(std::lround(value));
    } else if (head == "GCHTCF") {
        reply = reHead + " " + answerConfiguration();
    } else if ((head == "IFHTCW" || head == "IBHTCW") && line.argText == "?") {
        const auto* inlet = method_.find(address == "IF" ? "IFIFCW" : "IBIBCW");
        reply = reHead + " " + (inlet ? inlet->argText : "8,0,0,0,2,0.00,0.00");
    } else if (head == "GCHTSP") {
        if (state_ == RunState::Run)
            enterPostRun();
        else if (state_ == RunState::PreRun)
            state_ = RunState::Idle;
        reply = reHead + " 0";
    } else if (head == "GCHTPR") {
        if (state_ == RunState::Idle)
            state_ = RunState::PreRun;
        const bool busy = state_ == RunState::Run || state_ == RunState::PostRun;
        reply = reHead + " " + (busy ? std::to_string(kBusyWhileRunning) : "0");
    } else if (head == "GCHTRR") {
        std::vector<std::string> values;
        for (std::size_t i = 0; i < kRunTableEntries; ++i) {
            const RunTableEntry entry = i < runTable_.size() ? runTable_[i] : RunTableEntry{};
            values.push_back(formatFixed(entry.time, 2));
            values.push_back(std::to_string(entry.type));
            values.push_back(std::to_string(entry.value));
        }
        reply = reHead + " " + join(values, ',');
    } else if (head == "CCHTMD") {
        if (line.argText == "?")
            reply = method_.firstBlock();
        else if (line.argText == "+")
            reply = method_.nextBlock();
        else
            reply = method_.receiveBlockLine(line);
    } else if (head == "CCHTMC" || head == "CCHTMI") {
        int position = 0;
        int code = 0;
        const int forced = op == "MC" ? faults_.checkCode : faults_.installCode;
        if (forced != 0)
            code = forced;
        else if (const RuleBreach busy = CheckRunState(state_ == RunState::Run ? 2 : 0)) {
            code = busy.code;  // neither checked nor installed while a run goes on
            method_.refuse(busy.rule);
        } else
            code = op == "MC" ? method_.check(position) : method_.install(position);
        reply = reHead + " " + std::to_string(code) + "," + std::to_string(position);
    } else {
        // Someone is at the address but does not know the operation.
        reply = reHead + " " + std::to_string(kInvalidOperation);
    }
    return Outcome::Reply;
}

void GcModel::step(std::int64_t nowMs, double dtSeconds)
{
    nowMs_ = nowMs;
    if (state_ == RunState::Run) {
        const double elapsed = elapsedMinutes();
        while (nextRunEvent_ < runTable_.size() && runTable_[nextRunEvent_].time <= elapsed) {
            if (runTable_[nextRunEvent_].type == 7)
                contactClosure_ = runTable_[nextRunEvent_].value;
            ++nextRunEvent_;
        }
        if (elapsed >= runLength_)
            enterPostRun();
    } else if (state_ == RunState::PostRun) {
        const double post = (nowMs_ - postRunStartMs_) / kMsPerMinute;
        if (post >= postRunMinutes() && std::fabs(ovenTemperature_ - initialTemperature()) <= 1.0)
            state_ = RunState::Idle;
    }
    if (state_ == RunState::Idle && settings_.autoPrepRun)
        state_ = RunState::PreRun;

    // The oven moves towards its set point at the heating or cooling rate.
    const double target = ovenSetpoint();
    const double up = settings_.heatRate / 60.0 * dtSeconds;
    const double down = settings_.coolRate / 60.0 * dtSeconds;
    ovenTemperature_ += std::clamp(target - ovenTemperature_, -down, up);
    if (std::fabs(ovenTemperature_ - target) <= 1.0) {
        if (settledSinceMs_ == -1)
            settledSinceMs_ = nowMs_;
    } else
        settledSinceMs_ = -1;
}

bool GcModel::zonesReady() const
{
    if (!zoneOn("OV") || settledSinceMs_ == -1)
        return false;
    return (nowMs_ - settledSinceMs_) / kMsPerMinute >= equilibrationMinutes();
}

bool GcModel::readyForInjection() const
{
    return (state_ == RunState::Idle || state_ == RunState::PreRun) && zonesReady() &&
           settings_.shutdownBits == 0 && settings_.notReadyBits == 0;
}

bool GcModel::startRun(std::int64_t nowMs)
{
    if (state_ != RunState::Idle && state_ != RunState::PreRun)
        return false;
    nowMs_ = nowMs;
    state_ = RunState::Run;
    runStartMs_ = nowMs;
    runLength_ = std::max(runLengthMinutes(), 0.01);
    nextRunEvent_ = 0;
    return true;
}

void GcModel::enterPostRun()
{
    state_ = RunState::PostRun;
    postRunStartMs_ = nowMs_;
}

bool GcModel::zoneOn(const std::string& address) const
{
    return zonesOff_.count(address) == 0;
}

double GcModel::elapsedMinutes() const
{
    return state_ == RunState::Run ? (nowMs_ - runStartMs_) / kMsPerMinute : 0.0;
}

double GcModel::initialTemperature() const
{
    const auto* program = method_.find("OVOVTR");
    return program ? program->number(0, settings_.ambient) : settings_.ambient;
}

// The oven program: initial temperature for the initial time, then up to six ramps, each
// a rate (degrees per minute), a final temperature and a hold time.
double GcModel::programValue(double minutes) const
{
    const auto* program = method_.find("OVOVTR");
    if (!program)
        return settings_.ambient;
    double value = program->number(0);
    double t = program->number(1);
    if (minutes <= t)
        return value;
    for (int ramp = 1; ramp <= 6; ++ramp) {
        const double rate = program->number(3 * ramp - 1);
        if (rate <= 0.0)
            break;
        const double final = program->number(3 * ramp);
        const double rampTime = std::fabs(final - value) / rate;
        if (minutes <= t + rampTime)
            return value + (final > value ? 1.0 : -1.0) * rate * (minutes - t);
        t += rampTime + program->number(3 * ramp + 1);
        value = final;
        if (minutes <= t)
            return value;
    }
    return value;
}

double GcModel::runLengthMinutes() const
{
    const auto* program = method_.find("OVOVTR");
    if (!program)
        return 0.0;
    double value = program->number(0);
    double t = program->number(1);
    for (int ramp = 1; ramp <= 6; ++ramp) {
        const double rate = program->number(3 * ramp - 1);
        if (rate <= 0.0)
            break;
        const double final = program->number(3 * ramp);
        t += std::fabs(final - value) / rate + program->number(3 * ramp + 1);
        value = final;
    }
    return t;
}

// Post-run: the first post-run set point is its time in minutes, the second its oven
// temperature (both 0 when post-run is off).
double GcModel::postRunMinutes() const
{
    const auto* post = method_.find("GCGCPO");
    return post ? std::max(0.0, post->number(0)) : 0.0;
}

double GcModel::equilibrationMinutes() const
{
    const auto* setpoints = method_.find("OVOVSP");
    return setpoints ? std::max(0.0, setpoints->number(0)) : 0.0;
}

double GcModel::ovenSetpoint() const
{
    if (!zoneOn("OV"))
        return settings_.ambient;
    if (state_ == RunState::Run)
        return programValue(elapsedMinutes());
    if (state_ == RunState::PostRun) {
        const double post = (nowMs_ - postRunStartMs_) / kMsPerMinute;
        const auto* postRun = method_.find("GCGCPO");
        if (postRun && post < postRunMinutes() && postRun->number(1) > 0.0)
            return postRun->number(1);
    }
    return initialTemperature();
}

// The column's set point from its pneumatics command: pressure in psi (mode flag 0,
// stored times 10000) or flow in ml/min (stored times 1000), following its ramps during
// a run.
double GcModel::columnSetpoint(int column, bool& flowMode) const
{
    const std::string c = std::to_string(column);
    const auto* definition = method_.find("C" + c + "C" + c + "CW");
    const auto* pneumatics = method_.find("C" + c + "C" + c + "NR");
    flowMode = false;
    if (!definition || !pneumatics || definition->number(3) == 5.0 || definition->number(0) <= 0.0)
        return 0.0;
    flowMode = pneumatics->number(3) != 0.0;
    const double factor = flowMode ? 1000.0 : 10000.0;
    double value = pneumatics->number(4) / factor;
    if (state_ != RunState::Run)
        return value;
    const double minutes = elapsedMinutes();
    double t = pneumatics->number(5);
    for (int ramp = 0; ramp < 3 && minutes > t; ++ramp) {
        const double rate = pneumatics->number(6 + 3 * ramp) / factor;
        if (rate <= 0.0)
            break;
        const double final = pneumatics->number(7 + 3 * ramp) / factor;
        const double rampTime = std::fabs(final - value) / rate;
        if (minutes <= t + rampTime)
            return value + (final > value ? 1.0 : -1.0) * rate * (minutes - t);
        t += rampTime + pneumatics->number(8 + 3 * ramp);
        value = final;
    }
    return value;
}

// Flow through the column falls as the oven heats (the carrier gas grows more viscous).
static double flowPerPsi(double ovenTemperature)
{
    return 0.1 * std::pow(323.15 / (ovenTemperature + 273.15), 1.7);
}

double GcModel::columnPressure(int column) const
{
    bool flowMode = false;
    const double setpoint = columnSetpoint(column, flowMode);
    return flowMode ? setpoint / flowPerPsi(ovenTemperature_) : setpoint;
}

double GcModel::columnFlow(int column) const
{
    bool flowMode = false;
    const double setpoint = columnSetpoint(column, flowMode);
    return flowMode ? setpoint : setpoint * flowPerPsi(ovenTemperature_);
}

// Run state, blank run, column compensation, sequence, run time remaining, post-run time
// remaining, elapsed time (minutes), two unused values.
std::string GcModel::answerRunState() const
{
    const bool running = state_ == RunState::Run;
    const double remaining = running ? std::max(0.0, runLength_ - elapsedMinutes()) : 0.0;
    double postRemaining = 0.0;
    if (state_ == RunState::PostRun)
        postRemaining = std::max(0.0, postRunMinutes() - (nowMs_ - postRunStartMs_) / kMsPerMinute);
    return std::to_string(static_cast<int>(state_)) + "," +
           (running && settings_.blankRun ? "1" : "0") + "," +
           (settings_.columnCompensation ? "1" : "0") + "," + (settings_.sequence ? "1" : "0") +
           "," + formatFixed(remaining, 2) + "," + formatFixed(postRemaining, 2) + "," +
           formatFixed(elapsedMinutes(), 2) + ",0,0";
}

// Six readiness values: instrument ready, ready in pre-run (used with auto prep run),
// thermal zones ready, ready to start (used without auto prep run), pneumatics ready, 0.
std::string GcModel::answerReadiness() const
{
    const bool idle = state_ == RunState::Idle || state_ == RunState::PreRun;
    const bool ready = zonesReady() && settings_.shutdownBits == 0 && settings_.notReadyBits == 0;
    const bool pneumatics =
        (settings_.notReadyBits & 0x03C00000u) == 0 && (settings_.shutdownBits & 0x3C000000u) == 0;
    auto flag = [](bool on) { return on ? std::string("1") : std::string("0"); };
    return flag(ready) + "," + flag(ready && state_ == RunState::PreRun) + "," +
           flag(zonesReady()) + "," + flag(ready && idle) + "," + flag(pneumatics) + ",0";
}

// Fifteen status words: 0 not-ready groups, 8 shutdowns and scram, 10 to 12 non-fatal
// error codes; the others are 0.
std::string GcModel::answerStatusWords() const
{
    std::uint32_t notReady = settings_.notReadyBits;
    const bool idle = state_ == RunState::Idle || state_ == RunState::PreRun;
    if (idle && !zonesReady())
        notReady |= kOvenNotReadyBit;
    std::vector<std::string> words(15, "0");
    words[0] = asSigned(notReady);
    words[8] = asSigned(settings_.shutdownBits);
    for (std::size_t i = 0; i < 3; ++i)
        words[10 + i] = std::to_string(settings_.nonFatal[i]);
    return join(words, ',');
}

std::string GcModel::answerConfiguration() const
{
    // The oven maximum set now, then the installed hardware in the library's form, which
    // a host reads back (method check --port).
    const auto* oven = method_.find("OVOVCW");
    return settings_.product + "," + settings_.firmware + ",OVEN MAX " +
           (oven ? oven->arg(3) : std::string("0")) + "," + describeHardware(method_.hardware());
}

void GcModel::addRunTableEntry(const Line& line)
{
    RunTableEntry entry;
    entry.time = numberOr(line.arg(0), 0.0);
    entry.type = intOr(line.arg(1), 0);
    entry.value = intOr(line.arg(2), 0);
    if (entry.type == 0)
        return;
    auto same = std::find_if(runTable_.begin(), runTable_.end(), [&](const RunTableEntry& e) {
        return std::fabs(e.time - entry.time) < 0.001 && e.type == entry.type;
    });
    if (same != runTable_.end())
        same->value = entry.value;
    else if (runTable_.size() < kRunTableEntries)
        runTable_.push_back(entry);
    std::stable_sort(
        runTable_.begin(), runTable_.end(),
        [](const RunTableEntry& a, const RunTableEntry& b) { return a.time < b.time; });
}

}  // namespace gc6890::sim
