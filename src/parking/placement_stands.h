// Who may stand at a stand when live aircraft arrive: the rules by which an aircraft spawned at a
// stand takes it from, or yields it to, the live aircraft already there or on an overlapping
// stand, and the claim of the nearest free stand by an aircraft taxiing in.
//
// Thread: the main loop.
#pragma once

#include <cstdint>
#include <string>

struct LiveAc;
struct ParkPos;

// Search radii of the claim (nautical miles): 55 m when wide, else 20 m.
inline constexpr double kClaimWideNm = 0.029697624190064796;
inline constexpr double kClaimNarrowNm = 0.010799136069114472;

// Looks at live aircraft x on the wanted stand (phase 0, 1 or 6, placed): removes it or clears
// standFree by the callsign rules. True when x was such an aircraft (ends the caller's walk).
bool gf_clearStandForLiveAc(bool& standFree, std::uint32_t standId, const std::string& callsign, LiveAc& x);

// Looks at live aircraft x on the overlapping stand overlapId (phase 0 or 6, placed, another
// callsign): clears standFree when the two would touch. True when x was such an aircraft.
bool gf_otherLiveAcAtStand(std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand,
                           bool& standFree, LiveAc& x);

// The aircraft taxiing in claims the nearest free stand around its newest record, making way
// there; on success it heads for the stand in phase 5.
void gf_claimStandOnArrival(LiveAc& ac, bool wide);
