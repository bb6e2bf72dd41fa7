// The model library's run state back to its program-start values in one call: the stands of the
// park airport, the airport list, the park airport and the reserved stand. For a fresh start
// inside one process, as the tests make one per case.
//
// Call it with no thread of the program running (no main loop, no scan worker).
#pragma once

void gf_resetModelState();
