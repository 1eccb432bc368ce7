#include "external/installed_hardware.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace gc6890 {

bool InstalledHardware::epc() const
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

namespace {
constexpr const char* kInletLabels[] = {"NONE", "S/S", "COC", "PTV", "PP"};

std::string upper(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}
}  // namespace

const char* inletLabel(InletKind kind)
{
    return kInletLabels[static_cast<int>(kind)];
}

const char* inletPneumatics(InletKind kind)
{
    static constexpr const char* heads[] = {"", "SP", "CP", "GV", "GP"};
    return heads[static_cast<int>(kind)];
}

std::string describeHardware(const InstalledHardware& h)
{
    std::string report = "OVEN LIMIT " + std::to_string(h.ovenMaximum);
    if (h.ovenCryo != 0)
        report += ",CRYO " + upper(kCryoNames[h.ovenCryo]);
    report += std::string(",FRONT INLET ") + inletLabel(h.inlets[0].kind);
    if (h.inlets[0].cryo)
        report += ",FRONT CRYO";
    report += std::string(",BACK INLET ") + inletLabel(h.inlets[1].kind);
    for (int n = 0; n < 2; ++n)
        if (h.columns[n].installed)
            report += ",COLUMN " + std::to_string(n + 1);
    report += ",FRONT DET " + upper(kDetectorNames[h.detectors[0]]);
    report += ",BACK DET " + upper(kDetectorNames[h.detectors[1]]);
    if (h.epc())
        report += ",EPC";
    if (h.sampler)
        report += ",ALS";
    return report;
}

bool readHardwareDescription(const std::string& report, InstalledHardware& hardware)
{
    InstalledHardware h;
    h.inlets[0].cryo = false;
    h.columns[0].installed = h.columns[1].installed = false;
    h.sampler = false;
    bool epc = false, limit = false, front = false, back = false;
    auto named = [](const std::string& value, auto& names, int& out) {
        for (int i = 0; i < static_cast<int>(std::size(names)); ++i)
            if (value == upper(names[i]))
                out = i;
    };
    auto inlet = [](const std::string& label, InletKind& kind) {
        for (int i = 0; i < static_cast<int>(std::size(kInletLabels)); ++i)
            if (label == kInletLabels[i]) {
                kind = static_cast<InletKind>(i);
                return true;
            }
        return false;
    };
    std::istringstream items(report);
    for (std::string item; std::getline(items, item, ',');) {
        auto after = [&](const char* prefix) {
            return item.rfind(prefix, 0) == 0 ? item.substr(std::char_traits<char>::length(prefix))
                                              : std::string();
        };
        if (std::string v = after("OVEN LIMIT "); !v.empty()) {
            h.ovenMaximum = std::atoi(v.c_str());
            limit = true;
        } else if (std::string v = after("CRYO "); !v.empty())
            named(v, kCryoNames, h.ovenCryo);
        else if (std::string v = after("FRONT INLET "); !v.empty())
            front = inlet(v, h.inlets[0].kind);
        else if (std::string v = after("BACK INLET "); !v.empty())
            back = inlet(v, h.inlets[1].kind);
        else if (item == "FRONT CRYO")
            h.inlets[0].cryo = true;
        else if (item == "COLUMN 1" || item == "COLUMN 2")
            h.columns[item.back() - '1'].installed = true;
        else if (std::string v = after("FRONT DET "); !v.empty())
            named(v, kDetectorNames, h.detectors[0]);
        else if (std::string v = after("BACK DET "); !v.empty())
            named(v, kDetectorNames, h.detectors[1]);
        else if (item == "EPC")
            epc = true;
        else if (item == "ALS")
            h.sampler = true;
    }
    if (!limit || !front || !back)
        return false;
    for (auto& column : h.columns)
        column.epc = epc;
    hardware = h;
    return true;
}

}  // namespace gc6890
