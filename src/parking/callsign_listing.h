// The optional listing Callsign2ObjectId.txt of the placed live aircraft in the working folder,
// one line per aircraft, sorted by byte order:
//   "Gnd KLM1234   KLM B738: 12345 Parked at D4" / "Air DLH4TR    DLH A320: 12346 "
//
// Thread: the main loop (the removal also once at start-up).
#pragma once

#include <string>

struct LiveAc;

// Writes Callsign2ObjectId.txt for the placed live aircraft.
void gf_writeCallsign2ObjectIdFile();
// One line of Callsign2ObjectId.txt.
std::string lf_callsign2ObjectIdLine(const LiveAc& ac);
// Removes an old listing; an undeterminable status or a failed removal throws the filesystem
// error "exists" or "remove".
void gf_removeCallsignListing();
