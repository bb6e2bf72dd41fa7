// Aircraft and creations for the simulator-link tests: live and static aircraft put straight into
// the main loop's containers, creation commands near the stand-in's user aircraft, the by-type
// scan the AI tick would make, and the lifecycle seams recorded instead of run. Header-only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/sim_hooks.h"
#include "simulator/sim_ids.h"
#include "foundation/settings.h"
#include "support/simlink_harness.h"

namespace tvxtest {

inline constexpr double kUserLat = 50.0;
inline constexpr double kUserLon = 8.0;
inline constexpr const char* kKnownTitle = "Airbus A320 Neo Stand-in";
inline constexpr const char* kUnknownTitle = "Airbus A320 Nowhere";

inline LiveAc& addLiveAc(std::uint32_t hexid, const std::string& callsign,
                         AcState state = AcState::CreationRequested)
{
    LiveAc ac;
    ac.hexid = hexid;
    ac.callsign = callsign;
    ac.acType = "A320";
    ac.state = state;
    ac.title = kKnownTitle;
    g_liveAc.push_back(ac);
    return g_liveAc.back();
}

inline StaticAc& addStaticAc(std::uint32_t hexid, const std::string& callsign)
{
    StaticAc ac;
    ac.hexid = hexid;
    ac.callsign = callsign;
    ac.acType = "A320";
    ac.state = AcState::CreationRequested;
    ac.title = kKnownTitle;
    g_staticAc.push_back(ac);
    return g_staticAc.back();
}

inline LiveAc* findLive(std::uint32_t hexid)
{
    for (LiveAc& ac : g_liveAc)
        if (ac.hexid == hexid)
            return &ac;
    return nullptr;
}

// A creation 2 NM north of the user, in the air (live) or on the ground (static).
inline CreateAcCmd createCmd(std::uint32_t hexid, const std::string& callsign,
                             const char* title = kKnownTitle)
{
    CreateAcCmd cmd;
    cmd.initPos.Latitude = kUserLat + 2.0 / 60.0;
    cmd.initPos.Longitude = kUserLon;
    cmd.initPos.Altitude = hexid > 10000 ? 3000.0 : 0.0;
    cmd.initPos.Heading = 270.0;
    cmd.initPos.OnGround = hexid > 10000 ? 0 : 1;
    cmd.callsign = callsign;
    cmd.title = title;
    cmd.hexid = hexid;
    return cmd;
}

// Request 101 as the AI tick makes it every 20 ticks.
inline void requestAircraftInRange()
{
    std::lock_guard lock(g_simConnectMutex);
    SimConnect_RequestDataOnSimObjectType(g_hSimConnect, simid::REQ_AC_IN_RANGE, simid::DEF_AC_IN_RANGE,
                                          g_rangeMeters.load(), SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
}

// The lifecycle seams, recorded: objectCreated takes the object id, initialConfiguration places.
struct RecordedLifecycle {
    std::vector<std::uint32_t> created;     // hexids
    std::vector<std::uint32_t> configured;  // hexids
    std::vector<std::uint32_t> refused;     // hexids whose livery was marked refused

    void install()
    {
        g_simLinkHooks.objectCreated = [this](LiveAc& ac, const SimEvent& e) {
            created.push_back(ac.hexid);
            ac.objectId = e.objectId;
            return true;
        };
        g_simLinkHooks.initialConfiguration = [this](LiveAc& ac) {
            configured.push_back(ac.hexid);
            ac.state = AcState::Placed;
        };
        g_simLinkHooks.addRefusedLivery = [this](const AcData& ac) { refused.push_back(ac.hexid); };
    }
    ~RecordedLifecycle() { g_simLinkHooks = SimLinkHooks{}; }
};

// Connected, flight running, the user parked at kUserLat/kUserLon, kKnownTitle known to the
// simulator, the lifecycle seams recorded. Containers are emptied at the end.
class SimFlightHarness : public SimLinkHarness {
protected:
    void SetUp() override
    {
        SimLinkHarness::SetUp();
        simstandin::UserAc user;
        user.pos = {kUserLat, kUserLon, 300.0};
        sim().setUser(user);
        sim().addTitle(kKnownTitle);
        lifecycle.install();
        connect();
        startFlight();
    }
    void TearDown() override
    {
        SimLinkHarness::TearDown();
        g_liveAc.clear();
        g_staticAc.clear();
        g_removeRequests.clear();
        std::lock_guard lock(g_simEventMutex);
        g_simEvents.clear();
        g_pendingObjects.clear();
    }

    // Creation flushed, object created and announced, by-type scan delivered, simulator events
    // applied: the id of the new object, or 0.
    std::uint32_t createAndMatch(const CreateAcCmd& cmd)
    {
        gf_queueCreateAc(cmd);
        sim().frame(2);  // the flush sends the create; the next frame brings the object
        requestAircraftInRange();
        sim().deliver();
        gf_SimCommands();
        const auto object = sim().objectByAtcId(cmd.callsign);
        return object ? object->id : 0;
    }

    // A live aircraft whose object exists, is released and frozen: its object id.
    std::uint32_t placedLiveObject(std::uint32_t hexid, const std::string& callsign)
    {
        addLiveAc(hexid, callsign);
        const std::uint32_t id = createAndMatch(createCmd(hexid, callsign));
        sim().frame();  // the freezes
        return id;
    }

    RecordedLifecycle lifecycle;
};

}  // namespace tvxtest
