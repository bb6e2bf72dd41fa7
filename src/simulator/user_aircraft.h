// The user aircraft: its state (request 109), on-ground state once a second (request 108, the
// heartbeat of the main loop's one-second work), title (106) and model (107) with the derived
// type, half wing span and size class, the stand it stands on, the simulator's UTC time and the
// teleport test. Replies are handled on the SimConnect thread; requests are made from the main
// loop and the start-up thread under g_simConnectMutex. Also the great-circle course function.
//
// Locks: g_userAc is written by the SimConnect thread and copied by others under a small lock of
// its own (innermost; nothing is called while holding it). Flags read across threads are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "simconnect/SimConnect.h"
#include "simulator/sim_ids.h"

struct LatLon {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
};

// A consistent copy of the last user state (any thread).
UserAcState gf_userAc();
// The user aircraft's object id; only ids above it are AI objects. 0 before the first state reply.
extern std::atomic<std::uint32_t> g_minObjectId;
extern std::atomic<bool> g_tickFlag;           // set by every on-ground reply; the main loop takes it
extern std::atomic<bool> g_userOnGround;
extern std::atomic<bool> g_userOnGroundKnown;
extern std::atomic<std::int64_t> g_simUtcTime;  // seconds since 1970-01-01 00:00 UTC
extern std::atomic<double> g_userHalfSpan;      // nautical miles
extern std::atomic<bool> g_userHalfSpanValid;
extern std::atomic<int> g_userSizeClass;        // SizeClass value of the user aircraft's type
std::string gf_userTitle();
std::string gf_userModel();      // the ICAO type derived from the model text
std::string gf_userStandName();

// True while the position counts as "no flight yet" (lat 0..0.0009 and lon 0..0.05, inclusive).
bool gf_isNoFlightPosition(double latitude, double longitude);

// ---- requests (main loop, start-up thread) -------------------------------------------------------
// Request 109 unless g_simConnectFailed; returns the state stored so far.
UserAcState gf_requestUserAcPosition();
// Requests 106 and 107.
void gf_requestUserAcTitle();
// Request 108 (period SECOND); false when the call failed ("SimConnect request ac gnd/air fails").
bool gf_requestUserAcOnGround();

// Initial great-circle course from one position to another (degrees) in radians, 0 <= c < 2*pi.
double gf_initialCourse(LatLon from, LatLon to);

// Days from 1970-01-01 to the given UTC year and day of year (1 = 1 January), Gregorian; nothing
// for a year outside 1970..9999 or a day outside the year.
std::optional<std::int64_t> gf_daysSinceEpoch(std::int64_t year, std::int64_t dayOfYear);

// Exit thread: forgets the user state, the on-ground-known flag, the span's valid flag and the
// user's object id.
void gf_resetUserAc();

// The stand the user stood on when the SimConnect thread last checked (lf_checkUserStand); the
// main loop takes it once and writes it into the park-airport list.
std::optional<std::string> gf_takeUserStandForParkList();

// ---- SimConnect thread: reply handlers, declared for the dispatch and tests ------------------------
void lf_onUserAcState(const SIMCONNECT_RECV_SIMOBJECT_DATA& data);
void lf_onUserAcOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA& data);
void lf_onUserAcTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA& data);
void lf_onUserAcModel(const SIMCONNECT_RECV_SIMOBJECT_DATA& data);
void lf_checkUserStand();
// The model rewrite table (title = the user title); exposed for tests.
std::string lf_rewriteModel(std::string_view model, std::string_view title);
// Cuts a text at max bytes without splitting a UTF-8 character.
std::string lf_cutUtf8(std::string_view text, std::size_t maxBytes);
