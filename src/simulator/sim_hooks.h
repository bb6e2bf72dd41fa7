// The calls that the simulator link makes into work owned by other parts of the program: the
// live-aircraft lifecycle (new object, first configuration, touchdown, ground altitude), refused
// liveries, and the stand name under the user aircraft. Each is one std::function member of g_simLinkHooks, filled by
// its owner at start-up. An empty member means that piece is not there: the link takes the stated
// fallback and logs once that it was skipped (gf_hookMissing), so no run pretends the work was done.
//
// Threads: set before SimClient starts; read by the main loop (simulator events) and by the
// SimConnect thread (user aircraft: spans, stand names, account type).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct LiveAc;
struct StaticAc;
struct AcData;
struct SimEvent;

struct SimLinkHooks {
    // --- live-aircraft lifecycle (main loop) ---
    // LiveAc::objectCreated: the object exists; true when the lights cycle is to run.
    // Empty: the object id is taken and the cycle runs.
    std::function<bool(LiveAc&, const SimEvent&)> objectCreated;
    // LiveAc::initialConfiguration: engines, spoilers, lights, throttle, flaps; state 2.
    // Empty: the state becomes 2 without configuration.
    std::function<void(LiveAc&)> initialConfiguration;
    // LiveAc::setOnGroundSlots: the touchdown step. Empty: skipped.
    std::function<void(LiveAc&)> setOnGroundSlots;
    // Ground altitude := static CG height + ground altitude reported (motion field). Empty: skipped.
    std::function<void(LiveAc&, double groundAltitudeFt)> setGroundAltitude;
    // gf_addRefusedLivery. Empty: skipped.
    std::function<void(const AcData&)> addRefusedLivery;

    // --- user aircraft (SimConnect thread) ---
    // gf_nearestStandName: the stand within 55 m of the position while on the ground. Empty: "".
    std::function<std::string(double lat, double lon)> nearestStandName;
    // Whether the traffic service reports the professional account type; set only to override
    // the traffic client's own answer (tests). Empty: g_trafficClient.isProfessional().
    std::function<bool()> professionalAccount;
};

extern SimLinkHooks g_simLinkHooks;
