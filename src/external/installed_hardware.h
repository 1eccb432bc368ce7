// The hardware installed in a GC: inlets, detectors, columns, oven, sampler. The method
// rules read it (what a method may ask of this GC); the simulator builds its stored method
// and configuration answers from it; a hardware profile (a TOML file) or a connected GC's
// configuration report fills it in.
#pragma once

#include <array>
#include <string>

namespace gc6890 {

// The kind of inlet fitted on a side; each answers the GC's own inlet code.
enum class InletKind { None, SplitSplitless, CoolOnColumn, Ptv, PurgedPacked };

struct InletHardware {
    InletKind kind = InletKind::SplitSplitless;
    bool cryo = false;  // the inlet's cryo command ("IFIFCR") is fitted (front only)
    int gasCode = 2;    // the GC's carrier gas code (argument 4 of "IFIFCW")
};

struct ColumnHardware {
    bool installed = true;
    bool epc = true;  // electronic pressure control
};

struct InstalledHardware {
    // Front and back. The defaults are the simulator without a profile: split/splitless
    // inlets on both sides, the front one with its cryo command, FID detectors.
    std::array<InletHardware, 2> inlets{InletHardware{InletKind::SplitSplitless, true, 2},
                                        InletHardware{}};
    std::array<int, 2> detectors{1, 1};  // detector codes, 0 none (see kDetectorNames)
    std::array<ColumnHardware, 2> columns{};
    int ovenMaximum = 450;  // the highest oven maximum the GC accepts
    int ovenCryo = 0;       // 0 none, 1 liquid CO2, 2 liquid nitrogen
    bool sampler = true;    // an automatic liquid sampler is fitted

    bool backInlet() const { return inlets[1].kind != InletKind::None; }
    bool epc() const;  // every installed column has EPC
};

// Names used in profiles and answers, indexed by code.
inline constexpr const char* kInletKindNames[] = {"none", "split_splitless", "cool_on_column",
                                                  "ptv", "purged_packed"};
inline constexpr const char* kDetectorNames[] = {"none", "fid", "tcd", "ecd", "npd", "fpd"};
inline constexpr const char* kCryoNames[] = {"none", "co2", "n2"};
inline constexpr const char* kGasNames[] = {"argon_methane", "helium", "hydrogen", "nitrogen"};

// The GC's inlet code for a kind (argument 0 of "IFIFCW"), its short label in the
// configuration report and the head suffix of its pneumatics command.
int inletCode(InletKind kind);
const char* inletLabel(InletKind kind);
const char* inletPneumatics(InletKind kind);

// The hardware part of the GC's configuration report ("GCHTCF ?"), comma-separated:
// "OVEN LIMIT 450,CRYO CO2,FRONT INLET PTV,FRONT CRYO,BACK INLET S/S,COLUMN 1,COLUMN 2,
// FRONT DET FID,BACK DET FID,EPC,ALS". The simulator answers with it; a host reads a
// connected GC's hardware back from it.
std::string describeHardware(const InstalledHardware& hardware);
// Reads a report (other items, such as the product and firmware, are skipped). False when
// it names no oven limit or no inlets: not a report of this form.
bool readHardwareDescription(const std::string& report, InstalledHardware& hardware);

}  // namespace gc6890
