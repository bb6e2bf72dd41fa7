// The parking library's run state back to its program-start values in one call: the published
// copy of the stand model, the park file's flags, the static plan's lists and the placement and
// collision memories. The stand model itself, the airport list, the park airport and the reserved
// stand belong to the model library (gf_resetModelState, called first). The program resets what a
// restart needs piece by piece; this is for a fresh start inside one process, as the tests make
// one per case.
//
// Call it with no thread of the program running (no main loop, no scan worker).
#pragma once

void gf_resetParkingState();
