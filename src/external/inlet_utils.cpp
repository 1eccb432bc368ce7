#include "external/inlet_utils.h"

namespace gc6890 {
namespace {
VialRange g_vialRange;
}

VialRange GetVialRange()
{
    return g_vialRange;
}
}  // namespace gc6890

void SetVialRange(int first, int last)
{
    gc6890::g_vialRange = {first, last};
}
