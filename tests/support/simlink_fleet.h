// Aircraft and creations for the simulator-link tests: live and static aircraft put straight into
// the main loop's containers, creation commands near the stand-in's user aircraft, the by-type
// scan the AI tick would make, and what the live-aircraft lifecycle did, read back from the
// program's state. Header-only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "model/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "liveries/refused.h"
#include "simulator/refused_liveries.h"
#include "simulator/sim_ids.h"
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
    // The head record: in the air, 3000 ft above the stand-in's flat terrain.
    PosRecord head{};
    head.lat = kUserLat;
    head.lon = kUserLon;
    head.alt = 3000.0;
    head.airborne = 1;
    ac.stream.push_back(head);
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

// What the live-aircraft lifecycle did with the simulator's events: the aircraft whose new object
// it took (their records wait in g_pendingObjects for the lights cycle), the aircraft it placed,
// and the liveries it marked refused. The refused liveries and the error count start empty.
struct RecordedLifecycle {
    RecordedLifecycle() { lf_reset(); }
    ~RecordedLifecycle() { lf_reset(); }
    RecordedLifecycle(const RecordedLifecycle&) = delete;
    RecordedLifecycle& operator=(const RecordedLifecycle&) = delete;

    // Hexids of the live aircraft whose object was taken.
    static std::vector<std::uint32_t> created()
    {
        std::vector<std::uint32_t> hexids;
        for (const SimEvent& e : g_pendingObjects)
            if (e.kind == SIM_EVENT_LIVE_OBJECT)
                hexids.push_back(e.hexid);
        return hexids;
    }
    // Hexids of the placed live aircraft.
    static std::vector<std::uint32_t> configured()
    {
        std::vector<std::uint32_t> hexids;
        for (const LiveAc& ac : g_liveAc)
            if (ac.state == AcState::Placed)
                hexids.push_back(ac.hexid);
        return hexids;
    }
    // Titles refused by the simulator, in order.
    static const std::vector<std::string>& refused() { return g_refusedLiveries; }

private:
    static void lf_reset()
    {
        g_refusedLiveries.clear();
        g_refusedTypes.clear();
        g_simErrorCount.store(0);
    }
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
