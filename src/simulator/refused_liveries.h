// Liveries that the simulator refused to create, and the aircraft for which the livery matching
// found no livery. A refusal is remembered (the livery matching skips the title from then on, and
// the type and airline go to the livery report), the user is told on the status line, and the
// twentieth refusal ends the traffic with error 81. The no-match texts are logged every 1200
// seconds and at exit.
//
// Owns g_noMatchSet; the refused titles and type texts (g_refusedLiveries, g_refusedTypes) live
// with the livery matching that reads them (liveries/refused.h).
//
// Main loop thread (the simulator-event handling and the per-second work); the exit thread logs
// the no-match set after the main loop has ended. No lock.
#pragma once

#include <cstddef>
#include <set>
#include <string>

struct AcData;

// Texts (gf_airlineTypeRegText) of aircraft without a livery match, in byte order.
extern std::set<std::string> g_noMatchSet;

// Refusals that end the traffic with error 81.
inline constexpr std::size_t kRefusedLiveryLimit = 20;

// The simulator could not create the aircraft with its livery: status line, title and type text
// remembered; at the limit error 81 is logged and thrown (tvx::UserErrorException).
void gf_addRefusedLivery(const AcData& ac);
// Logs the no-match set (only with LOG and when it is not empty).
void gf_logNoMatchList();
