// The simulator library's run state back to its program-start values in one call: the aircraft
// records and their request queues, the command queues, the simulator-event queues, the feed
// hand-over, the connection's counters and the user aircraft. The program itself resets what a
// restart needs piece by piece (exit thread); this is for a fresh start inside one process, as
// the tests make one per case.
//
// Call it with no thread of the library running (no SimConnect client, no main loop).
#pragma once

void gf_resetSimulatorState();
