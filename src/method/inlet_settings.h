// How a stored method's inlet settings turn into the GC's inlet commands: the code tables
// and the edits of the inlet program, thermal zone, pneumatics and pneumatic zone commands
// copied from the GC's own method.
//
// The edits write into argument slots the GC's command already has and keep each slot's
// kind (integer where the GC sent an integer, decimal where it sent a decimal): a value is
// converted to the slot's kind, integers truncated toward zero. A slot the GC sent as text,
// or one its command does not have, is left as it is, so a GC that reports a shorter
// command than expected never has memory written past its arguments.
#pragma once

#include "command/command_string.h"
#include "external/method_library.h"

namespace gc6890 {

// The GC's inlet code (argument 0 of "IFIFCW"/"IBIBCW") for a method inlet type, from the
// inlet type table; 7 for a type the table does not know or one that keeps the GC's.
int GCInletCode(int methodInletType);
// The GC's carrier-gas code for a method carrier gas: 1, 2, 3 as they are, 0 for 4, 7 for
// anything else.
int GCGasCode(int methodCarrierGas);

// Writes value into argument i, converted to that argument's kind (see above).
void WriteArgument(CCommandString& command, int i, double value);

// Each writes what the inlet type table says for the side's type; 0 for a type the table
// does not know (nothing written), else 1. `side` is
// CHP6890Method::Front or Back.
// The inlet temperature program ("IFIFTR"/"IBIBTR").
int SetInletLine(int side, const CHP6890Method& method, CCommandString& program);
// The inlet thermal zone ("IFIFTZ"/"IBIBTZ"): the record's zone flag into argument 0.
int SetInletTempZone(int side, const CHP6890Method& method, CCommandString& zone);
// The inlet pneumatics command the GC reported; `pressure` is the pressure program of the
// column on that inlet as the download keeps it.
int SetInletPneum(int side, const CHP6890Method& method, const CPressure& pressure,
                  CCommandString& pneumatics);
// The inlet pneumatic zone ("IFIFNZ"/"IBIBNZ"): argument 0 becomes 1 when zoneOn is 0 and 0
// otherwise. Always 1.
int SetInletPneumaticZone(int zoneOn, CCommandString& zone);

}  // namespace gc6890
