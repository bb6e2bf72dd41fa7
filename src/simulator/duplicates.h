// Duplicates and ghosts: the same real aircraft shown twice. A static parked aircraft that a live
// aircraft of the feed duplicates (same service hexid, registration or coupled callsign) is
// removed by the once-a-second duplicate check; a live aircraft whose callsign is a new live
// aircraft's callsign followed by '_' is a ghost and is removed, and its callsign remembered so
// that it is not created again.
//
// Owns g_duplicateCheckList and g_ghostCallsigns. Main loop thread only; the containers belong to
// it (the exit thread empties them after the main loop has ended).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct LiveAc;
struct StaticAc;

// Hexids of live aircraft to be compared with the static aircraft, one per second.
extern std::deque<std::uint32_t> g_duplicateCheckList;
// Callsigns (ending in '_') of live aircraft removed as ghosts.
extern std::vector<std::string> g_ghostCallsigns;

// The live aircraft of a duplicate check, its callsign without the last character, and whether it
// is on the ground.
struct DuplicateQuery {
    const LiveAc& live;
    std::string baseCallsign;
    bool onGround = false;
};

// True when the static aircraft duplicates the live one and is to be removed; logs the reason
// (with LOG).
bool gf_removeDuplicates(const DuplicateQuery& query, const StaticAc& ac);

// Queues a hexid for the duplicate check.
void gf_addDuplicateCheck(std::uint32_t hexid);
// The once-a-second step: takes the front hexid of g_duplicateCheckList and removes the first
// static aircraft that duplicates that live aircraft.
void gf_checkOneDuplicate();
// The callsign belongs to a ghost already removed.
bool gf_isRemovedGhost(const std::string& callsign);

namespace liveac {

// Removes the first live aircraft, not being removed, whose callsign is callsign + "_".
void removeGhosts(const std::string& callsign);

}  // namespace liveac

// True when a live aircraft, not being removed, has the callsign without its last character.
bool lf_isBaseCallsignLive(const std::string& callsign);
