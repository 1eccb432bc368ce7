// The method's inlet types, one row each: number, name, the record the type reads and what
// it writes into the GC's inlet commands. The method library, the method file's layout
// (reader, writer and listing), the inlet settings and the method build all read this
// table, so adding an inlet type is one row here plus its record in CHP6890Method.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "external/method_library.h"

namespace gc6890 {

class MethodVisitor;

// What a type writes into the GC's inlet temperature program ("IFIFTR"/"IBIBTR").
enum class InletProgramEdit {
    None,        // nothing: the GC keeps its own program
    Isothermal,  // argument 0 = 0, argument 1 = the record's temperature
    OvenTrack,   // argument 0 = 1: the inlet follows the oven
    Ramped,      // initial temperature and time, then three ramps
};

// What a type does with the front inlet's PTV cryo command ("IFIFCR").
enum class InletCryo {
    None,        // nothing is added
    KeptFromGC,  // the GC's own command, when it has one, is added unchanged
    FromMethod,  // required, rebuilt from the method's PTV cryo settings
};

// The values of a type's record that the download reads.
struct InletRecordView {
    int zoneOn = 0;                              // thermal zone flag
    const float* temperature = nullptr;          // Isothermal types
    const CInletTempProgram* program = nullptr;  // Ramped types
};

// One argument of the inlet pneumatics command: a value as stored, or the value times a
// factor, truncated toward zero; with the record's key it comes from (the method check
// names it), or none for a constant or the inlet's pressure.
struct PneumaticArgument {
    PneumaticArgument(double v, double f = 0, const char* k = nullptr)  // NOLINT: implicit
        : value(v), factor(f), key(k)
    {}
    double value;
    double factor;  // 0: sent as stored
    const char* key;
};

struct InletType {
    int number;         // as the stored method and method files hold it
    const char* name;   // stable snake_case name; also the method file's table of its record
    const char* label;  // for listings, followed by " (type N)"
    bool keepsGC;       // the GC keeps all its inlet settings (no record)
    bool perSide;       // one record per inlet side, or one shared by both sides
    int gcInletCode;    // argument 0 of "IFIFCW"/"IBIBCW" (unused when keepsGC)
    InletProgramEdit program;
    InletCryo cryo;
    InletRecordView (*record)(const CHP6890Method& method, int side);
    // Arguments 1 on of the inlet pneumatics command, from the record and p (the initial
    // value of the inlet's pressure program times 10000, truncated; argument 0 is never
    // written); empty: the GC keeps its pneumatics.
    std::vector<PneumaticArgument> (*pneumatics)(const CHP6890Method& method, int side, int p);
    // The record's keys in the method file; nullptr when the type has no record.
    void (*fields)(MethodVisitor& visitor, CHP6890Method& method, int side);
};

// Every type, in number order (row i has number i).
std::span<const InletType> InletTypes();
// The row of a type number or name; nullptr for an unknown one.
const InletType* FindInletType(int number);
const InletType* FindInletType(std::string_view name);

}  // namespace gc6890
