// The limits of the parked traffic: the number of parked aircraft (live and static) against the
// wanted number, the stay of live aircraft at their stands, the live limit MAX_LIVE, and the count
// and average stay of live parked aircraft shown in the window.
//
// Thread: the main loop.
#pragma once

#include <cstddef>
#include <cstdint>

// Removes one live and one static parked aircraft above the wanted number; extra counts a live
// aircraft that is taking a stand now.
void lf_checkMaxPark(std::uint8_t extra);

// Enforces the stay limit (Heavy 180 minutes, others 90) and appends the live aircraft parked at
// stands to g_liveStayers, sorted by minutes parked.
void gf_collectLiveStayers();

// Removes the n live aircraft parked longest.
void gf_removeLongestLiveParked(std::size_t n);

// Removes the farthest placed live aircraft while more than MAX_LIVE are placed.
void gf_trimLiveToMaxLive();

// Number of live aircraft parked at stands; with show, the window's average stay is updated.
std::uint32_t gf_countLiveParked(bool show);
