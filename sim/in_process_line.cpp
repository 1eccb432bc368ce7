#include "sim/in_process_line.h"

#include <algorithm>
#include <cstring>

namespace gc6890::sim {

InProcessLine::InProcessLine(SimConfig config)
    : instrument_(std::make_unique<Instrument>(clock_, std::move(config)))
{}

bool InProcessLine::open(std::string& error)
{
    if (instrument_->hungUp()) {
        error = "The simulated line has hung up.";
        return false;
    }
    open_ = true;
    return true;
}

void InProcessLine::close()
{
    open_ = false;
    partial_.clear();
    ready_.clear();
}

bool InProcessLine::write(std::string_view bytes, int /*timeoutMs*/)
{
    if (!open_ || instrument_->hungUp())
        return false;
    for (const char c : bytes) {
        if (c == '\n') {
            instrument_->receive(partial_);
            partial_.clear();
        } else
            partial_ += c;
    }
    return !instrument_->hungUp();
}

SerialPortBackend::ReadResult InProcessLine::read(char* buffer, std::size_t size, int timeoutMs)
{
    ReadResult result;
    if (!open_ || instrument_->hungUp()) {
        result.status = ReadStatus::Gone;
        return result;
    }
    std::int64_t waited = 0;
    const std::int64_t limit = std::max(0, timeoutMs);
    while (ready_.empty()) {
        instrument_->advance();
        while (auto line = instrument_->takeDue())
            ready_ += *line + "\n";
        if (instrument_->hungUp()) {
            result.status = ReadStatus::Gone;
            return result;
        }
        if (!ready_.empty() || waited >= limit)
            break;
        const std::int64_t step = std::min(Instrument::kStepMs, limit - waited);
        clock_.advance(step);
        waited += step;
    }
    if (ready_.empty() || size == 0)
        return result;  // TimedOut
    const std::size_t count = std::min(size, ready_.size());
    std::memcpy(buffer, ready_.data(), count);
    ready_.erase(0, count);
    result.status = ReadStatus::Data;
    result.count = count;
    return result;
}

}  // namespace gc6890::sim
