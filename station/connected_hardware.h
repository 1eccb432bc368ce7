// The connected GC's installed hardware as a hardware profile: its configuration report
// ("GCHTCF ?"), the carrier gas of each inlet ("IFHTCW ?", "IBHTCW ?"), the sampler's
// configuration ("ASHTCW ?") and the firmware the GC named at start-up. Questions only.
#pragma once

#include "comms/hp6890_serial_comms.h"
#include "external/hardware_profile.h"

namespace gc6890 {

// Asks on the GC's side, which must be started; the sampler's configuration only when
// `askSampler` (a GC whose sampler did not answer its echo test counts as without one, and
// is not kept waiting for a time-out). False when the configuration report did
// not come or named no hardware (`profile` is then untouched); the other answers fill in
// what they give and leave the rest at the report's values.
bool queryConnectedProfile(CHP6890SerialComms& channel, HardwareProfile& profile, bool askSampler);

}  // namespace gc6890
