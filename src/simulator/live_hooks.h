// The calls that the feed hand-over and the AI tick make into work that lives elsewhere and is not
// part of this library yet: the live-aircraft lifecycle (the per-tick update by state and the
// respawn decision), the stream append rules, and the static parking work list with its placement.
//
// Each call is one std::function member of g_liveHooks, filled by the owner of the piece at
// start-up (before the main loop runs). An empty member means the piece is not there: the caller
// goes on as if it did not apply (an aircraft is not moved, a record is not appended, no static
// aircraft is placed) and the first time per run a log line names the missing piece, so a run
// never pretends that work was done.
//
// Thread: set on the start-up thread before the main loop starts; read by the main loop.
#pragma once

#include <functional>
#include <string_view>

struct LiveAc;
struct TrafficRecord;

struct LiveHooks {
    // updateLiveAc: one tick of a live aircraft by its state; answers its remove mark.
    std::function<bool(LiveAc& ac)> updateLiveAc;
    // LiveAc::respawn: identity and route updates of a record that passed the acceptance tests;
    // false swallows the record (the aircraft is being respawned).
    std::function<bool(LiveAc& ac, TrafficRecord& record)> respawn;
    // LiveAc::appendRecord: takes the position part of an accepted record into the stream.
    std::function<void(LiveAc& ac, TrafficRecord& record)> appendRecord;
    // The static parking work list (g_staticParkQueue) is not empty.
    std::function<bool()> staticParkWorkPending;
    // lf_parkStatic: places one entry of the static parking work list.
    std::function<void()> parkStatic;
};

extern LiveHooks g_liveHooks;

// Logs once per piece and run: "{} is not built yet: {} skipped". Always false.
bool gf_liveHookMissing(std::string_view piece, std::string_view what);
// Forgets which pieces were logged (tests, restart).
void gf_resetLiveHookLog();
