#include "sim/hardware.h"

namespace gc6890::sim {

bool Hardware::epc() const
{
    for (const auto& column : columns)
        if (column.installed && !column.epc)
            return false;
    return true;
}

// Split/splitless 2, on-column 1 and PTV 12 are the codes the method download writes;
// purged packed 3 is our choice, and 8 is what the GC answers for no inlet.
int inletCode(InletKind kind)
{
    switch (kind) {
    case InletKind::SplitSplitless:
        return 2;
    case InletKind::CoolOnColumn:
        return 1;
    case InletKind::Ptv:
        return 12;
    case InletKind::PurgedPacked:
        return 3;
    case InletKind::None:
        break;
    }
    return 8;
}

const char* inletLabel(InletKind kind)
{
    static constexpr const char* labels[] = {"NONE", "S/S", "COC", "PTV", "PP"};
    return labels[static_cast<int>(kind)];
}

const char* inletPneumatics(InletKind kind)
{
    static constexpr const char* heads[] = {"", "SP", "CP", "GV", "GP"};
    return heads[static_cast<int>(kind)];
}

}  // namespace gc6890::sim
