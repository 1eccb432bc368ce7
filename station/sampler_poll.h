// The sampler's status poll as the instrument object reads it (Instrument::poll). The sampler's
// status read answers 1 even when its exchange failed (no answer, another head, a code it
// does not have): that failure shows only as the record's Error and NotReady flags and as
// the channel registry's failure broadcast. An Error flag alone is no failed poll (a
// refused injection raises it too), so the poll listens for the broadcast.
#pragma once

#include "interface/instrument_base.h"

namespace gc6890 {

// Reads the sampler's status into `status`. False when the read failed, or when a failure
// of the line was broadcast while it ran (the channel is then being rebuilt).
bool pollSampler(CAutoSampler& sampler, CInletSystemStatus& status);

}  // namespace gc6890
