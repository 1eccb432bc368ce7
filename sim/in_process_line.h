// The simulator behind the serial port interface, in the same process: bytes written are
// split into lines and handed to the instrument; reads return its answers. Nothing runs
// by itself: a read that finds nothing due moves the simulator's clock on, step by step up
// to its time-out, so late answers and runs progress deterministically and a read that
// times out has let the whole time-out pass in instrument time.
#pragma once

#include <memory>
#include <string>

#include "external/serial_port_backend.h"
#include "sim/clock.h"
#include "sim/instrument.h"

namespace gc6890::sim {

class InProcessLine : public SerialPortBackend {
public:
    explicit InProcessLine(SimConfig config = {});

    bool open(std::string& error) override;
    void close() override;
    // A line that hung up shows closed, as a real port that found its device gone does.
    bool isOpen() const override { return open_ && !instrument_->hungUp(); }
    bool write(std::string_view bytes, int timeoutMs) override;
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override;
    std::string describe() const override { return "sim"; }

    Clock& clock() { return clock_; }
    Instrument& instrument() { return *instrument_; }

private:
    Clock clock_;
    std::unique_ptr<Instrument> instrument_;
    std::string partial_;  // bytes written after the last line feed
    std::string ready_;    // answer bytes not yet read
    bool open_ = false;
};

}  // namespace gc6890::sim
