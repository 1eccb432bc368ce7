// Serves the instrument on a pseudo-terminal: the master side is ours, the slave device
// is what a host opens. Single thread, poll() with bounded time-outs; answers go out when
// due on the simulator's clock, paced at a baud rate when the slow-line fault is on.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "sim/instrument.h"

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
    void readInput();

    Instrument& instrument_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the line survives hosts that come and go
    std::string devicePath_;
    std::string partial_;
    std::string output_;
};

}  // namespace gc6890::sim
