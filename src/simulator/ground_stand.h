// The stand end of a ground road: the approach and stop records that bring an aircraft onto its
// claimed stand, its arrival there (parking, configuration, real sighting, maximum parked count)
// and the cargo attribute that a cargo aircraft gives its stand.
//
// The claim itself (the free-stand search around the end of the records, making way at the stand)
// and the count of parking-data changes belong to the parked-traffic placement and the stand
// schedules; this file reaches them through the stand services (simulator/stand_services.h).
//
// Main loop thread only.
#pragma once

struct LiveAc;

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
