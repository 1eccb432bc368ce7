// gc6890 profile capture: the connected GC's installed hardware as a simulator profile, so
// that gc6890-sim --profile and gc6890 method check --profile work offline against that
// lab's GC. Questions only: the GC side's start-up, the sampler's echo test and the
// configuration answers.
#include <iostream>

#include "cli_error.h"
#include "command_table.h"
#include "comms/comms_registry.h"
#include "comms/line_failure.h"
#include "external/port_interrupt.h"
#include "instrument_failure.h"
#include "port_choice.h"
#include "station/connected_hardware.h"

namespace gc6890::cli {

namespace {

int captureProfile()
{
    InterruptPortWaitsOnSignals();
    ClearLineFailure();
    HardwareProfile profile;
    {
        CHP6890SerialComms channel;
        if (!channel.StartGCComms())
            throw instrumentFailure("profile capture");
        // A GC without a sampler does not answer the sampler's echo test.
        CString buffer;
        const bool sampler = channel.CheckChannel(buffer, "AS") != 0;
        if (!queryConnectedProfile(channel, profile, sampler))
            throw instrumentFailure("profile capture: the GC gave no configuration report");
    }
    std::cout << hardwareProfileText(
        profile, "The installed hardware of the GC on " + chosenDevice() +
                     ", as gc6890 profile capture read it.\nUse: gc6890-sim --profile FILE, "
                     "gc6890 method check --profile FILE METHOD");
    return kExitOk;
}

}  // namespace

void addProfileCommands(CommandTable& table)
{
    CLI::App* profile = table.group("profile", "Hardware profiles of a connected GC");
    table.add(profile->add_subcommand("capture", "Print the connected GC's installed hardware as a "
                                                 "simulator profile (TOML) on standard output"),
              captureProfile);
}

}  // namespace gc6890::cli
