// Movement of a placed live aircraft along its stream of position records: when the aircraft
// reaches its head record the next leg is planned (nextPosMain, nextPos, nextPosAir): its time in
// ticks within the early and late limits of the feed's timing, and the per-tick steps of position;
// at the end of the records the stream is held or extended, or the aircraft given up; between two
// records stepTick advances the aircraft one tick (curve, heading, take-off rotation, pitch, bank,
// altitude). Also the user-passing test of the buffering step and the respawn as a new object.
//
// Main loop thread only; the containers belong to it.
#pragma once

#include <cstdint>

struct LiveAc;

// The head record is reached: drop it, keep at least two records (extend, hold or remove) and
// plan the next leg. Standard exceptions are logged ("nextPosMain: ...") and passed on.
void nextPosMain(LiveAc& ac);
// Plans the leg to the second record and drops the head (needs two records).
void nextPos(LiveAc& ac);
// Play-out slot of the second record for a leg in the air.
void nextPosAir(LiveAc& ac);
// Prepares the aircraft to be created again as a new simulator object (state respawning).
void liveryRespawn(LiveAc& ac);

namespace liveac {

// Ticks from now to the second record's play-out slot, at least 25.
double legInterval(const LiveAc& ac);
// Knots of the leg from the head to the second record.
double legSpeed(const LiveAc& ac);
// Writes the second record's play-out slot from a leg of n ticks, within the limits.
void setArrivalTick(LiveAc& ac, std::int32_t n);
// Signed turn (radians) from the heading to the course from the second to the third record.
double turnToFollowingLeg(const LiveAc& ac);
// Altitude step toward the second record, at most the vertical-rate cap.
void setClimbStep(LiveAc& ac);
// The ticks of full altitude step that the next `ticks` ticks give: during the take-off rotation
// none, then a tenth, a fifth and a half of the step for a second each; otherwise `ticks`.
// At least 1.
double climbTicks(const LiveAc& ac, double ticks);
// Fewer than two records remain: true when the stream was extended or held. An aircraft at least
// the query range less 0.5 nm from the user (position known) is not, in any phase.
bool endOfStream(LiveAc& ac);
// Appends one extension record and sets the hold counter to count.
void extendStream(LiveAc& ac, std::int32_t count);
// One tick of motion (not called while the head is a stop).
void stepTick(LiveAc& ac);
// The aircraft's course passes within 4000 ft of the user aircraft (and near in height).
bool passesUser(const LiveAc& ac);
// The position lies at least the query range less 0.5 nm from the user aircraft (its position
// known): no more data comes for it there, and an object created there lies outside the radius of
// the in-range request, so the program would never learn its id.
bool beyondQueryRange(double lat, double lon);
// Puts a new aircraft where its records put it now: the records already due (of the head's air or
// ground state) are dropped and the head becomes the point between the last of them and the next
// at this tick; position, altitude in the air and heading follow it. Nothing for a parked
// aircraft or one not yet due. True when the aircraft was moved.
bool placeOnRecords(LiveAc& ac);

}  // namespace liveac
