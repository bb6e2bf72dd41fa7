// The traffic and parking containers over the life of the process: their capacities reserved once,
// the removal of the park airport's parked traffic and the leaving of the airport, the save of the
// airport's changed stand data as a learned parking file, the emptying of every traffic container
// at exit (so an in-process restart starts clean), the history-buffer maps of the stand search,
// and the optional listing Callsign2ObjectId.txt of the placed live aircraft.
//
// Learned files are saved where the park-airport reader looks for them (lf_learnedApfPath of the
// parking-file text), so that the next visit reads them: archive/stock/EHAM.xml is learned in
// airports/learned/stock/EHAM.xml, airports/my_thirdparty/EHAM.xml with publisher P in
// airports/learned/thirdparty/P/EHAM.xml, airports/my_simaddon/EHAM.xml in
// airports/learned/my_simaddon/EHAM.xml. A header that no read filled, or a path that would lead
// out of airports/learned (a link file's odd line), falls back to the publisher's folder
// (learned/stock, learned/simaddon, else learned/thirdparty/<publisher>) and <ICAO>.xml.
// Callsign2ObjectId.txt, one line per placed live aircraft, sorted by byte order:
//   "Gnd KLM1234   KLM B738: 12345 Parked at D4" / "Air DLH4TR    DLH A320: 12346 "
//
// Thread: the main loop, except gf_removeParkedTraffic and gf_clearTrafficState, which the exit
// thread (FinalExit) runs once the main loop has acknowledged its end and the readers stopped.
#pragma once

#include <string>

struct LiveAc;

// g_parkUpdates (stand_schedule.h) and the seen maps g_seenCallsigns, g_seenHexids (static_plan.h)
// are used here, not owned.

// Once per process: reserves the containers' capacities and removes an old Callsign2ObjectId.txt.
void gf_reserveTrafficContainers();
// Removes the park airport's static and live parked traffic and leaves the airport.
void gf_removeParkedTraffic();
// Saves changed stand data, then forgets the park airport, its stands and its work lists.
void gf_leaveParkAirport();
// Writes the learned parking file of the park airport (see above).
void gf_saveParkFile();
// Exit: empties every traffic container, queue and park-airport value.
void gf_clearTrafficState();
// Empties the seen maps and takes over the ones the traffic client collected.
void gf_clearBufferMaps();
// Writes Callsign2ObjectId.txt for the placed live aircraft.
void gf_writeCallsign2ObjectIdFile();
// One line of Callsign2ObjectId.txt.
std::string lf_callsign2ObjectIdLine(const LiveAc& ac);
// The folder of the learned file for a publisher text: airports/learned/stock, .../simaddon or
// .../thirdparty/<publisher> (separators and "."/".." in the publisher neutralised).
std::string lf_learnedFolderOf(const std::string& publisher);
// Tests: forgets that the capacities were reserved, as in a fresh process.
void lf_resetReservedOnce();
