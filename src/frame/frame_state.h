// The frame library's run state back to its program-start values in one call: the status and
// error lines, the painted window values and the exit request. For a fresh start inside one
// process, as the tests make one per case.
//
// Call it with no thread of the program running (no start-up, main loop or exit thread).
#pragma once

void gf_resetFrameState();
