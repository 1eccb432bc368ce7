// The host framework's utility functions that the library calls.
#pragma once

#include "platform/platform.h"

// Tells the host the valid sampler vial numbers.
void SetVialRange(int first, int last);

namespace gc6890 {
struct VialRange {
    int first = 0;
    int last = 0;
};
// The range last given to SetVialRange, for the host to read.
VialRange GetVialRange();
}  // namespace gc6890
