// The stand end of a ground road: the approach and stop records that bring an aircraft onto its
// claimed stand, its arrival there (parking, configuration, real sighting, maximum parked count)
// and the cargo attribute that a cargo aircraft gives its stand.
//
// The claim itself (the free-stand search around the end of the records, making way at the stand)
// and the count of parking-data changes belong to the parked-traffic placement and the stand
// schedules; they reach this file through g_groundStandHooks, which their owner fills at start-up.
// An empty member means that piece is not there: the claim is not made (the aircraft keeps
// taxiing and ends like any other at the end of its data) and the change is not counted, and the
// first time a log line names the missing piece (gf_hookMissing).
//
// Main loop thread only; the members are set before the main loop starts.
#pragma once

#include <functional>

struct LiveAc;

struct GroundStandHooks {
    // gf_claimStandOnArrival: the aircraft taxiing in claims the nearest free stand around its
    // newest record (within 55 m when wide, else 20 m); on success its phase becomes 5 and
    // liveac::addStopRecord has appended the approach and stop records.
    std::function<void(LiveAc& ac, bool wide)> claimStandOnArrival;
    // Adds 1 to the count of changes of the park airport's stand data (g_parkUpdates) and
    // repaints the window when the count differs from the one last shown.
    std::function<void()> countParkUpdate;
};

extern GroundStandHooks g_groundStandHooks;

namespace liveac {

// Appends the approach record (slow ground speed) and the stop record of a stand at the stand's
// position (degrees) and heading (radians); the course becomes the stand heading.
void addStopRecord(LiveAc& ac, double standLat, double standLon, double standHeading);
// Phase 5 at the end of the records: parks the aircraft within 2 m of its stand, or removes it
// when another aircraft occupies the stand.
void arriveAtStand(LiveAc& ac);
// A cargo aircraft on a stand without the cargo attribute gives it the attribute.
void markCargoStand(LiveAc& ac);

}  // namespace liveac
