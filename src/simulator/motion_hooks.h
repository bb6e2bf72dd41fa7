// The calls that the live-aircraft lifecycle, the movement along records and the stream append
// rules make into work that lives in other files and may be missing from a build: ground movement
// (ground legs, stand arrival, cargo stands), configuration and lights by phase (take-off, flare,
// air and ground configuration), livery matching, duplicates and ghosts, refused liveries and the
// no-match list, the park airport's stand schedules and work list, and the parked-traffic rules
// at stands.
//
// Each call is one std::function member of g_motionHooks. An empty member means that piece is not
// there: the branch that needs it is not taken (the aircraft goes on as if it did not apply) and
// the first time that happens a log line names the missing piece, so a run never pretends that
// work was done. The owner of the piece fills the member at start-up.
//
// Main loop thread only: the members are set before the main loop starts and read by it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct LiveAc;
struct StaticAc;
struct ParkPos;

struct MotionHooks {
    // --- Ground movement ---
    // Plans a ground leg: sets the second record's play-out slot (and the ground curve).
    std::function<void(LiveAc&)> nextPosGround;
    // Ground leg timing of a rotorcraft's stop leg in the air.
    std::function<void(LiveAc&)> groundLegTiming;
    // Arrival of an aircraft taxiing in (phase 5) at the end of its records.
    std::function<void(LiveAc&)> arriveAtStand;
    // Sets the cargo attribute of the stand a cargo aircraft parks at.
    std::function<void(LiveAc&)> markCargoStand;

    // --- Configuration and lights by phase ---
    std::function<void(LiveAc&)> airConfiguration;
    std::function<void(LiveAc&)> groundConfiguration;
    std::function<void(LiveAc&)> startTakeOff;
    std::function<void(LiveAc&)> flare;

    // --- Duplicates and ghosts ---
    // Removes the live ghost whose callsign is the given callsign followed by '_'.
    std::function<void(const std::string& callsign)> removeGhosts;
    // A live aircraft, not being removed, carries the callsign without its last character.
    std::function<bool(const std::string& callsign)> isBaseCallsignLive;
    // The callsign (ending in '_') belongs to a ghost already removed.
    std::function<bool(const std::string& callsign)> isRemovedGhost;
    // Queues a hexid for the once-a-second duplicate check against the static aircraft.
    std::function<void(std::uint32_t hexid)> addDuplicateCheck;

    // --- Livery matching ---
    // Chooses a livery title for a live aircraft without one (leaves it empty when none fits).
    std::function<void(LiveAc&)> matchLivery;

    // --- Refused liveries and the no-match list ---
    std::function<bool(std::string_view title)> isRefusedLivery;
    std::function<bool(const std::string& text)> inNoMatchSet;
    std::function<void(const std::string& text)> addToNoMatchSet;

    // --- Park airport, stand schedules ---
    // Name of the reserved stand (empty: none).
    std::function<std::string()> reservedStandName;
    // Name of the stand within 55 m of the position, or empty.
    std::function<std::string(double lat, double lon)> nearestStandName;
    // A free stand for the aircraft within the radius (nm) of the position; nullptr = none.
    std::function<ParkPos*(double lat, double lon, const LiveAc& ac, double radiusNm)> findFreeStand;
    // Records a real sighting at a stand; true when the schedule changed.
    std::function<bool(std::uint32_t standId, const LiveAc& ac, bool trackGap, std::uint64_t stamp,
                       bool leaving)> addRealParkPosOption;
    // Drops the static parking work-list entries of a stand a live aircraft parks at.
    std::function<void(std::uint32_t standId)> dropStaticParkEntries;
    // Hands an aircraft whose records end to the stand learning.
    std::function<void(LiveAc& ac, bool force)> learnStandFromLiveAc;

    // --- Parked traffic at stands ---
    // Frees the wanted stand of an arriving aircraft from live aircraft x; true ends the walk.
    std::function<bool(bool& standFree, std::uint32_t standId, const std::string& callsign,
                       LiveAc& x)> clearStandForLiveAc;
    // Clears standFree when x on overlapping stand id stands too close; true ends the walk.
    std::function<bool(std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand,
                       bool& standFree, LiveAc& x)> otherLiveAcAtStand;
    // Removes one live and one static parked aircraft above the wanted number.
    std::function<void(std::uint8_t extra)> checkMaxPark;
};

extern MotionHooks g_motionHooks;

// Logs once per piece and what: "{} is not built yet: {} skipped". Always false. Any thread (the
// set of logged pieces has its own lock).
bool gf_hookMissing(std::string_view piece, std::string_view what);
// Forgets which pieces were logged (tests, restart).
void gf_resetHookMissingLog();
