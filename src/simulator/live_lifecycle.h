// The lifecycle of a live aircraft: the per-tick dispatch by state (updateLiveAc), the buffering
// step with its checks before an aircraft may be created (updateBufferAc), the spawn with its
// livery, stand claim at the park airport and first attitude (spawnLiveAc), the handling of the
// new simulator object (flight plan, static-ground request), the first configuration, the
// touchdown step and the respawn decision when a record changes the aircraft's identity.
//
// Main loop thread only; the containers belong to it.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "model/ac_records.h"

struct ParkPos;
struct SimEvent;
struct TrafficRecord;

// hexid -> livery title, so that an aircraft seen again gets the livery it had.
extern std::unordered_map<std::uint32_t, std::string_view> g_liveryCache;

// One tick of the aircraft by its state; returns its remove mark. Exceptions are logged
// ("updateLiveAc: ...") and stay here.
bool updateLiveAc(LiveAc& ac);
// The buffering step (state 0). Exceptions are logged ("updateBufferAc: ...") and stay here.
void updateBufferAc(LiveAc& ac);
// Livery, stand claim, first attitude, creation request. Exceptions are logged and passed on.
void spawnLiveAc(LiveAc& ac);
// Static aircraft on the stand, or placed on an overlapping stand too close, make way.
void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, ParkPos& stand);

namespace liveac {

// The aircraft's livery title from the cache or the matching; false when there is none.
bool cachedLivery(LiveAc& ac);
// The simulator object of the aircraft exists (event kind 0); false for object ids below 3.
bool objectCreated(LiveAc& ac, const SimEvent& event);
// Writes the flight-plan file and (2020) gives it to the object.
void createFlightPlan(LiveAc& ac);
// Engines, spoilers, lights, throttle and flaps of the new object; state placed.
void initialConfiguration(LiveAc& ac);
// Touchdown reported by the simulator.
void setOnGroundSlots(LiveAc& ac);
// Ground altitude := static CG height + ground altitude reported (feet).
void setGroundAltitude(LiveAc& ac, double groundAltitudeFt);
// A record of the aircraft passed the acceptance tests: identity and route updates, respawn
// decision. False = the record is not appended.
bool respawn(LiveAc& ac, const TrafficRecord& record);
// Takes a changed destination and origin from the record; true when something changed.
bool updateRoute(LiveAc& ac, const TrafficRecord& record);
// Destination, origin, callsign and registration from the record where it has them.
void takeIdentity(LiveAc& ac, const TrafficRecord& record);

}  // namespace liveac

// Plugs the flight-plan folder steps into the frame's hooks. Called once before the first
// start-up (window thread).
void gf_installLiveLifecycle();
