// The values of one reply line into a CIntFloatArray: the channel's reply parser, apart so
// that the benchmarks and fuzz harnesses can reach it. Status polls run it several times a
// second, so it parses in place and allocates nothing.
#pragma once

#include <string>

#include "comms/hp6890_serial_comms.h"

namespace gc6890 {

// reply: "HTGCRI 0,0,1.5,...". The values follow the first blank, which must stand at the
// seventh character or later, separated by commas; a value with a "." is a float (atof
// rules), any other an integer (atoi rules). Fills the slots in order and returns 1 when
// every slot got a value, 0 when the reply ran out of values or reached an empty one first.
// Values past the last slot are ignored; slots past the last value read keep what they held.
int parseReplyValues(const std::string& reply, CIntFloatArray& values);

}  // namespace gc6890
