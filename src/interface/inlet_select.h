// Which of the GC's two inlets a setting or a check is about.
#pragma once

enum tag_INLET_SEL { FRONT_INLET = 0, BACK_INLET = 1 };
