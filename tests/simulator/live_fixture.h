// Shared set-up of the live-traffic tests: settings at their defaults with Log.txt in a temporary
// folder, the standard aircraft database (plus a high-performance and a business-jet type), empty
// aircraft containers, queues and hand-over, no park airport and no stands, the simulator link in
// its failed state (so no request reaches a simulator), and stand services without a park airport
// that the tests may give answers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "model/ac_records.h"
#include "model/airport_list.h"
#include "model/model_state.h"
#include "model/stand_model.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/feed_handover.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/simulator_state.h"
#include "support/liveries_fixture.h"
#include "support/stand_services_fake.h"
#include "support/settings_fixture.h"

namespace tvxtest {

inline TrafficRecord liveRecord(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                                double time, double altFt = 5000.0, double speedKt = 250.0, double trackDeg = 90.0,
                                bool airborne = true)
{
    TrafficRecord r;
    r.hexid = hexid;
    r.callsign = callsign;
    r.acType = type;
    r.time = time;
    r.pos.lat = 47.0;
    r.pos.lon = 8.0;
    r.pos.alt = altFt;
    r.pos.speed = speedKt;
    r.pos.track = trackDeg;
    r.pos.airborne = airborne ? 1 : 0;
    return r;
}

inline void resetLiveTraffic()
{
    gf_resetSimulatorState();
    gf_resetModelState();
}

class LiveTrafficTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLiveTraffic();
        DbFixture db = DbFixture::standard();
        db.types.push_back({"F16", 9.8});
        db.types.push_back({"C25A", 15.5});
        db.sets.push_back({"highperf", "F16"});
        db.sets.push_back({"bizjet", "C25A"});
        ASSERT_TRUE(db.load());
        g_simConnectFailed.store(true);
        gf_acceptUdpMessages(true);
    }
    void TearDown() override
    {
        resetLiveTraffic();
        g_simConnectFailed.store(false);
        gf_clearAircraftDb();
        gf_clearRegcodes();
    }
    std::string logText() const { return m_settings.logText(); }

    LiveAc& addLiveAc(const TrafficRecord& r, AcState state)
    {
        AcData data = gf_makeAcData(r);
        data.hexid = r.hexid;
        g_liveAc.emplace_back(r.pos, data, r.time);
        g_liveAc.back().state = state;
        return g_liveAc.back();
    }

    // A placed aircraft of DLH parked at its stand after taxiing in, and its next record (20 s
    // later, 50 m north of the stand) that moves it off the stand. The departure's sighting
    // throws "broken record" from the stand schedule: a record whose handling throws.
    TrafficRecord parkedWithThrowingDeparture(std::uint32_t hexid, const std::string& callsign, double time)
    {
        TrafficRecord first = liveRecord(hexid, callsign, "B738", time, 0.0, 0.0, 0.0, false);
        LiveAc& ac = addLiveAc(first, AcState::Placed);
        ac.objectId = 1001;
        ac.stream[0].slot = 100000;  // standing, not due: the AI tick leaves it alone
        ac.stream[0].stop = 1;
        ac.airline = "DLH";
        ac.phase = AcPhase::Parked;
        ac.prevPhase = AcPhase::TaxiIn;
        ac.onGround = 1;
        ac.standLat = first.pos.lat;
        ac.standLon = first.pos.lon;
        ac.standId = 1;
        ac.lastStandDist = 1e-6;
        stands.onAddRealParkPosOption = [](std::uint32_t, const LiveAc&, bool, std::uint64_t, bool) -> bool {
            throw std::runtime_error("broken record");
        };
        TrafficRecord next = liveRecord(hexid, callsign, "B738", time + 20.0, 0.0, 0.0, 0.0, false);
        next.pos.lat += 50.0 / 1852.0 / 60.0;
        return next;
    }

    SettingsSandbox m_settings;
    FakeStandServices stands;
};

}  // namespace tvxtest
