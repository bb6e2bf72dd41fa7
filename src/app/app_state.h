// The app library's run state back to its program-start values in one call: the exit state, the
// main loop's schedule state and thread registration, the start-up count and the traffic
// service's logout hold. The frame's status lines, painted values and exit request are reset by
// gf_resetFrameState (frame/frame_state.h). For a fresh start inside one process, as the tests
// make one per case.
//
// Call it with no thread of the program running (no start-up, main loop or exit thread).
#pragma once

void gf_resetAppState();
