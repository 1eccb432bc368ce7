// The starting method written by "gc6890 method new": a split injection on the front
// inlet onto column 1, with every section a new user is likely to edit, commented.
#include "method_files.h"

namespace gc6890::cli {

const char* methodTemplate()
{
    return R"(# A starting method: split injection on the front inlet onto column 1.
# Every key is described in docs/method-format.md; a key left out takes its default.
# Check your edits with: gc6890 method check FILE

[gc]
run_length = 0.0              # min; 0 means the oven program's length

[gc.oven]                     # required
max_temperature = 325.0       # degrees C
equilibration_time = 3.0      # min
initial_temperature = 50.0    # degrees C
initial_time = 2.0            # min held at the start
ramps = [                     # at most 6; rate in degrees C/min, final in degrees C, time in min
    { rate = 10.0, final = 180.0, time = 0.0 },
    { rate = 20.0, final = 250.0, time = 1.5 },
]

[gc.column1]                  # leave the table out if the method does not use the column
length = 30.0                 # m
diameter = 250.0              # um
film_thickness = 0.25         # um
carrier_gas = "helium"        # "helium", "hydrogen", "nitrogen" or "argon_methane"
control_mode = "constant_pressure"  # or "ramped_pressure", "constant_flow", "ramped_flow"
inlet = "front"               # "front", "back" or "none"

[gc.column1.pressure]         # a pressure (psi) here, as the control mode is a pressure mode
initial = 12.5                # psi
initial_time = 0.0

[gc.front_inlet]
type = "split"                # "none" keeps the GC's inlet; "splitless", "on_column_track",
                              # "on_column_ramp", "ptv_splitless", ... "ptv_solvent_vent"

[gc.front_inlet.split]
zone_on = true
temperature = 250.0           # degrees C
split_ratio = 50.0
split_flow = 60.0             # mL/min

[gc.post_run]
enabled = false
time = 0.0                    # min
oven_temperature = 0.0        # degrees C

[sampler]                     # required; the sampler method comes after the GC method
first_vial = 1
front_injector = true

[sampler.injection]
volume = 10                   # percent of the syringe
sample_washes = 2
solvent_a_washes = 3

[sampler.syringe]
sample_pumps = 3
syringe_size = 10             # uL
)";
}

}  // namespace gc6890::cli
