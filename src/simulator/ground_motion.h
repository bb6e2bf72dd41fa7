// Ground legs of a live aircraft: the leg planning on the ground by phase (nextPosGround), the
// leg timing with the turn-rate scaling that makes a turn fit its leg, the quadratic curves through
// the next two records, the midpoints where the speed changes or a slow leg ends in a sharp turn,
// and leaving a stand forward (pull-out) or backward (pushback with its turn to either side).
// Owns the spare turn record of a running pushback, kept beside the aircraft by hexid.
//
// Main loop thread only; the containers belong to it.
#pragma once

#include <cstddef>

struct LiveAc;
struct PosRecord;

// Plans a ground leg (called by nextPos for an aircraft on the ground): sets the second record's
// play-out slot and, where the records turn, the curve.
void nextPosGround(LiveAc& ac);

namespace liveac {

// Leg time of a ground leg, the turn-rate scaling of its turn, then setArrivalTick.
void groundLegTiming(LiveAc& ac);
// Curve through the second (control) and third (end) records from the current position; drops
// the second record. Needs three records.
void setCurve(LiveAc& ac);
// Inserts a midpoint when the speed changes by more than 5 kt over at least 100 m.
void smoothSpeedChange(LiveAc& ac);
// Inserts the midpoint of the first two records as the second record.
void insertMidpoint(LiveAc& ac);
// Leaves the stand forward, twice the aircraft's size ahead of the stand.
void pullOut(LiveAc& ac);
// Leaves the stand backward, two and a half stand radii, with a turn record at the end.
void pushback(LiveAc& ac);

}  // namespace liveac

