// The rules by which an accepted feed record joins a live aircraft's stream: by phase it is
// appended, turned into a stop, ends a stop, decides the side of a pushback turn, moves the
// aircraft off its stand or is left out; short stops are cut out again, and a take-off or a
// go-around is recognised from the records. Keeps the stream free of jitter, backward steps and
// needless waits.
//
// Main loop thread only.
#pragma once

#include <cstddef>

struct LiveAc;
struct PosRecord;

namespace liveac {

// The position part of an accepted record enters the stream (or not) by the aircraft's phase.
void appendRecord(LiveAc& ac, PosRecord r);
// Marks r a stop against the last record; false when r is not taken.
bool markStop(LiveAc& ac, PosRecord& r);
// The records move again after a hold; false when r is not taken.
bool resumeAfterStop(LiveAc& ac, const PosRecord& r);
// Landing roll-out or go-around: drops records that point backwards; false when r is not taken.
bool checkGroundCourse(LiveAc& ac, PosRecord& r);
// Records around a stand of phases 5 and 6; false when r is not taken.
bool checkStandArrival(LiveAc& ac, PosRecord& r);
// The aircraft moves off its stand: towed flag, timing limits, real sighting, stand freed.
void leaveStand(LiveAc& ac);

}  // namespace liveac

// A moving record after stops: cuts a short stop out of the stream.
void removeSmallStop(LiveAc& ac, const PosRecord& r);
// With A the record at index size - k: the stop after A is cut unless it lasted 15 s and r lies
// more than 22 m from A.
void checkStops(LiveAc& ac, std::size_t k, const PosRecord& r);
