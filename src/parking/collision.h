// Collision avoidance: aircraft on the user's path while the user flies, aircraft too close to the
// user on the ground, and static aircraft in the way of a taxiing live aircraft. Each rule removes
// at most one aircraft per call and relies on being called again the next second.
//
// Thread: the main loop.
#pragma once

#include <utility>
#include <vector>

struct LiveAc;
struct StaticAc;

// The user position at the last static-aircraft check of the ground rule (lat, lon).
extern std::pair<double, double> g_lastStaticCheckPosition;

// User in the air: removes the placed aircraft when it lies on the user's path (on the ground) or
// the user lies on its line of flight (in the air). True when it removed it.
bool gf_collisionAvoidanceUserAir(LiveAc& ac);

// User on the ground: removes the first live aircraft too close and, when none and the user moved,
// the first static aircraft too close.
void gf_collisionAvoidanceUserGround();

// Removes the first placed static aircraft that the live aircraft would touch; its position in
// g_staticAc, or the end.
std::vector<StaticAc>::iterator gf_collisionAvoidanceLiveParked(const LiveAc& ac);

// The once-a-second walk: each taxiing live aircraft (phase 2 or 5, placed, on the ground, no
// removal pending) that moved since its last check is checked against the static aircraft.
void gf_checkTaxiingLiveAgainstParked();

// Tests: forgets the positions remembered by the walk.
void lf_resetTaxiCheckPositions();
