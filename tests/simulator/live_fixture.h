// Shared set-up of the live-traffic tests: settings at their defaults with Log.txt in a temporary
// folder, the standard aircraft database (plus a high-performance and a business-jet type), empty
// aircraft containers, queues and hand-over, no park airport and no stands, the simulator link in
// its failed state (so no request reaches a simulator), and a recording stand-in for the stream
// append rules that only pushes the position part onto the stream (the real rules are another
// piece; the tests here only need to know whether a record was appended).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "parking/airport_list.h"
#include "parking/parking_state.h"
#include "parking/stand_model.h"
#include "simulator/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/feed_handover.h"
#include "simulator/live_hooks.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/simulator_state.h"
#include "support/liveries_fixture.h"
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
    gf_resetParkingState();
    g_liveHooks = {};
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
        g_liveHooks.appendRecord = [this](LiveAc& ac, TrafficRecord& record) {
            ac.stream.push_back(record.pos);
            appended.push_back(record.hexid);
        };
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
        AcData data(r);
        data.hexid = r.hexid;
        g_liveAc.emplace_back(r.pos, data, r.time);
        g_liveAc.back().state = state;
        return g_liveAc.back();
    }

    SettingsSandbox m_settings;
    std::vector<std::uint32_t> appended;  // hexids of records handed to the append rules
};

}  // namespace tvxtest
