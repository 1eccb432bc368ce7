// A GC object (and, on request, a sampler) driven against gc6890-sim behind a symbolic
// link that the simulator moves to a new pseudo-terminal after each hang-up
// (--reconnect-after): what the hang-up cases and the hang-up soak share.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gc/varnock_gc_system.h"
#include "sampler/varnock_auto_sampler.h"
#include "support/channel_user_window.h"
#include "support/instrument_settings.h"
#include "support/simulator_program.h"
#include "support/temp_home.h"

namespace gc6890::test {

using SteadyClock = std::chrono::steady_clock;

class HangUpSession {
public:
    // Port settings: the link, this read time-out, the line traffic logged or not.
    HangUpSession(int timeoutMs, bool logTraffic);
    ~HangUpSession();

    // gc6890-sim with these options, serving behind the link, a new line 100 ms after
    // each hang-up.
    bool startSimulator(std::vector<std::string> options, int reconnectAfterMs = 100);
    // The GC object made and its comms initialised; false when the start failed.
    bool startGC();
    // The objects released (the channel with them) and the simulator stopped.
    void stop();

    std::string log() const { return home.read("c/dravik/hp6890.err"); }

    // Polls the GC (pumping the rebuild retry in between) until a poll answers from a
    // working channel; false when none did within `limitMs`.
    bool pollUntilBack(int limitMs);

    TempHome home;
    SimulatorProgram sim;
    std::string link;
    std::vector<std::string> boxes;
    std::unique_ptr<CVarnockGCSystem> gc;
    std::unique_ptr<CVarnockAutoSampler> sampler;
    // An outside user of the channel, made with the GC object: it counts the failure
    // broadcasts and the restores that hand over a rebuilt channel.
    std::unique_ptr<ChannelUserWindow> broadcasts;

private:
    MessageBoxHandler m_previousBoxHandler;
};

}  // namespace gc6890::test
