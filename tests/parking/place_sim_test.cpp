// The placement end to end against the stand-in simulator: with the parking stand services set,
// the AI tick places one planned aircraft per creation slot (smallest offset first,
// from the back of the work list), the real SimConnect client creates them with the livery title,
// the callsign ending in '*' as tail number and the stand's position and heading, and removing all
// static aircraft takes every object out of the simulator again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "foundation/random.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_tables.h"
#include "parking/parking_services.h"
#include "parking/placement.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "support/liveries_fixture.h"
#include "support/placement_fixture.h"
#include "support/simlink_harness.h"

namespace {

constexpr const char* kTitle = "Generic 738";
constexpr int kTicksPerFrame = 4;
constexpr double kLat = 64.13;
constexpr double kLon = -21.94;

class PlaceSim : public tvxtest::SimLinkHarness {
protected:
    void SetUp() override
    {
        SimLinkHarness::SetUp();
        gf_resetUserAc();
        auto db = tvxtest::DbFixture::standard();
        ASSERT_TRUE(db.load());
        gf_seedRng(5);
        gf_setLiveries({LiveryData{"", "B738", kTitle, "", 0, 0}});
        sim().addTitle(kTitle, simstandin::TitleInfo{simstandin::ObjType::Aircraft, "B738", 8.0, 0.0});
        lf_clearContainers();
        tvxtest::resetPlacementState();
        gf_setStandServices(&gf_parkingStandServices());
    }
    void TearDown() override
    {
        lf_clearContainers();
        tvxtest::resetPlacementState();
        gf_setStandServices(nullptr);
        gf_setLiveries({});
        gf_clearAircraftDb();
        SimLinkHarness::TearDown();
    }
    static void lf_clearContainers()
    {
        g_liveAc.clear();
        g_staticAc.clear();
        g_removeRequests.clear();
        g_liveCreateRequests.clear();
        g_staticCreateRequests.clear();
        g_spawnQueue.clear();
        g_parkPositions.clear();
        g_tick.store(0);
    }
    // Runs AI ticks with a simulator frame every kTicksPerFrame until the condition holds.
    bool runUntil(const std::function<bool()>& condition, int maxTicks)
    {
        for (int i = 0; i < maxTicks; ++i) {
            if (condition())
                return true;
            gf_updateAI();
            if ((i + 1) % kTicksPerFrame == 0)
                sim().frame();
        }
        return condition();
    }
};

TEST_F(PlaceSim, PlannedAircraftAreCreatedOnePerSlotAndRemovedAgain)
{
    sim().moveUser(kLat + 0.05, kLon, 0.0);
    connect();
    startFlight();

    tvxtest::placeStand(1, "A1", kLat, kLon, 90.0);
    tvxtest::placeStand(2, "A2", kLat + 0.001, kLon, 225.0);
    // Sorted by offset descending: the back (offset 0) goes first.
    g_staticParkQueue.push_back(tvxtest::planEntry(2, "ICE22", "", 1, 4, "ICE"));
    g_staticParkQueue.push_back(tvxtest::planEntry(1, "ICE11", "ICE12", 0, 0, "ICE"));

    const auto placed = [] {
        return g_staticAc.size() == 2 &&
               std::all_of(g_staticAc.begin(), g_staticAc.end(),
                           [](const StaticAc& ac) { return ac.state == AcState::Placed && ac.objectId != 0; });
    };
    ASSERT_TRUE(runUntil(placed, 3000)) << logText();

    const auto creations = sim().creations();
    ASSERT_EQ(creations.size(), 2u);
    EXPECT_EQ(creations[0].tail, "ICE12*");  // does not stay: planned under its next flight
    EXPECT_EQ(creations[1].tail, "ICE22*");
    for (const auto& c : creations) {
        EXPECT_EQ(c.title, kTitle);
        EXPECT_EQ(c.outcome, simstandin::CreationRec::Created);
        EXPECT_EQ(c.init.OnGround, 1u);
        EXPECT_EQ(c.init.Altitude, 0.0);
    }
    EXPECT_DOUBLE_EQ(creations[0].init.Latitude, kLat);
    EXPECT_NEAR(creations[0].init.Heading, 90.0, 1e-9);
    EXPECT_DOUBLE_EQ(creations[1].init.Latitude, kLat + 0.001);
    EXPECT_NEAR(creations[1].init.Heading, 225.0, 1e-9);
    // One creation slot (50 ticks = 12.5 frames) lies between the two.
    EXPECT_GE(creations[1].frame - creations[0].frame, 12u);
    EXPECT_TRUE(g_staticParkQueue.empty());

    gf_removeAllStaticAc();
    const auto gone = [] { return sim().removals().size() == 2; };
    ASSERT_TRUE(runUntil(gone, 1000)) << logText();
    for (const StaticAc& ac : g_staticAc)
        EXPECT_FALSE(sim().object(ac.objectId).has_value()) << ac.callsign;
}

}  // namespace
