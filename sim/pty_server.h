// Serves the instrument on a pseudo-terminal: the master side is ours, the slave device
// is what a host opens. Single thread, ppoll() with bounded time-outs; answers go out when
// due on the simulator's clock. With a baud rate (the slow-line fault) both directions are
// paced as on a real line: a command's bytes reach the instrument, and an answer's bytes
// reach the host, only as fast as the line carries them.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "sim/instrument.h"
#include "sim/line_pacer.h"

namespace gc6890::sim {

class PtyServer {
public:
    explicit PtyServer(Instrument& instrument);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal in raw mode; on failure `error` names the reason.
    bool open(std::string& error);
    const std::string& devicePath() const { return devicePath_; }
    // Closes the pseudo-terminal: a host that has the device open sees a hang-up.
    void close();

    // Serves until `stop` becomes non-zero or the hang-up fault closes the line.
    // Returns 0 on a clean stop, 1 after an I/O failure.
    int serve(const volatile std::sig_atomic_t& stop);

private:
    using TimePoint = LinePacer::TimePoint;

    void readInput(TimePoint now);
    // Hands the received bytes that the line has carried by `now` to the instrument.
    void deliverInput(TimePoint now);
    // Puts the answers due now on the line, from `earliest` or their due time if later.
    void takeAnswers(TimePoint earliest, TimePoint now);
    // Writes the answer bytes the line has carried by `now`; false when the device is full.
    bool writeOutput(TimePoint now);
    // The next moment something is due: a line carried in, an answer byte carried out, an
    // answer or a model step due; at most one tick ahead.
    TimePoint nextWake(TimePoint now, bool outputFull) const;

    Instrument& instrument_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the line survives hosts that come and go
    std::string devicePath_;
    std::string partial_;

    LinePacer inLine_;
    std::string inbound_;            // read from the host, not yet carried by the line
    std::uint64_t inboundBase_ = 0;  // the inbound line's byte count at inbound_[0]
    LinePacer outLine_;
    std::string output_;            // answer bytes on the line, not yet written
    std::uint64_t outputBase_ = 0;  // the outbound line's byte count at output_[0]
};

}  // namespace gc6890::sim
