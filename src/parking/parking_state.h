// The parking library's run state back to its program-start values in one call: the stand model
// and its published copy, the park airport and its file flags, the static plan's lists, the
// reserved stand, the placement and collision memories and the airport list. The program resets
// what a restart needs piece by piece; this is for a fresh start inside one process, as the tests
// make one per case.
//
// Call it with no thread of the program running (no main loop, no scan worker).
#pragma once

void gf_resetParkingState();
