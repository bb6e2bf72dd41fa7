// The frame's run state back to its program-start values in one call: the status and error lines,
// the painted window values, the exit flags, the main loop's schedule state and thread
// registration, the start-up count and the traffic service's logout hold. For a fresh start inside one process, as the tests make one per case.
//
// Call it with no thread of the program running (no start-up, main loop or exit thread).
#pragma once

void gf_resetAppState();
