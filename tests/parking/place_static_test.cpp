// Placing planned parked aircraft: the callsign rule and its exception, the hexid counter and its
// wrap, the creation command, the parking stamp moved back by the offset, and the blockers that
// drop an entry (live or static aircraft on the stand or next to it, an unknown stand, no livery).
#include "parking/placement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/settings.h"
#include "simulator/ai_tick.h"
#include "support/placement_fixture.h"

namespace {

using tvxtest::addLiveAc;
using tvxtest::addStaticAc;
using tvxtest::planEntry;
using tvxtest::placeStand;

class PlaceStatic : public tvxtest::PlacementTest {
protected:
    bool logHas(const std::string& text) const { return m_box.logText().find(text) != std::string::npos; }
};

TEST(PlaceCallsign, StaysSecondCallsignAndTrailingMarks)
{
    struct Case {
        std::string callsign, callsign2;
        std::uint8_t stays;
        std::string expected;
    };
    const Case cases[] = {
        {"KLM123", "KLM124", 1, "KLM123*"},
        {"KLM123", "KLM124", 0, "KLM124*"},
        {"KLM123", "", 0, "KLM123"},      // no next flight: the callsign unchanged, no '*'
        {"", "", 1, ""},
        {"KLM12__", "", 1, "KLM12*"},     // every trailing '_' goes
        {"KLM12*", "", 1, "KLM12*"},      // never a second '*'
        {"KLM123", "KLM9_", 0, "KLM9*"},
        {"___", "", 1, "*"},
    };
    for (const Case& c : cases) {
        const StaticPlanEntry e = planEntry(1, c.callsign, c.callsign2, c.stays);
        EXPECT_EQ(lf_staticCallsign(e), c.expected) << c.callsign << "/" << c.callsign2 << " stays " << int(c.stays);
    }
}

TEST_F(PlaceStatic, PlacesTheLastEntryWithItsCreationCommand)
{
    placeStand(3, "C3", 52.30, 4.76, 90.0);
    placeStand(4, "C4", 52.31, 4.77, 180.0);
    g_staticParkQueue.push_back(planEntry(4, "DLH400", "", 1));
    g_staticParkQueue.push_back(planEntry(3, "KLM123", "KLM124", 1, 0, "KLM", "B738", 0));
    g_staticParkQueue.back().registration = "PH-BXA";
    ASSERT_TRUE(gf_staticParkWorkPending());

    lf_parkStatic();

    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_staticParkQueue.back().callsign, "DLH400");
    ASSERT_EQ(g_staticAc.size(), 1u);
    const StaticAc& ac = g_staticAc.front();
    EXPECT_EQ(ac.callsign, "KLM123*");
    EXPECT_EQ(ac.coupledCallsign1, "KLM123");
    EXPECT_EQ(ac.coupledCallsign2, "KLM124");
    EXPECT_EQ(ac.registration, "PH-BXA");
    EXPECT_TRUE(ac.origin.empty());
    EXPECT_TRUE(ac.destination.empty());
    EXPECT_EQ(ac.hexid, 1u);
    EXPECT_EQ(ac.standId, 3u);
    EXPECT_DOUBLE_EQ(ac.standLat, 52.30);
    EXPECT_DOUBLE_EQ(ac.standLon, 4.76);
    EXPECT_EQ(ac.state, AcState::CreationRequested);
    EXPECT_EQ(ac.planKind, 1u);
    EXPECT_EQ(ac.serviceHexid, 0u);
    EXPECT_EQ(ac.title, "Generic 738");

    ASSERT_EQ(g_staticCreateRequests.size(), 1u);
    const CreateAcCmd& cmd = g_staticCreateRequests.front();
    EXPECT_DOUBLE_EQ(cmd.initPos.Latitude, 52.30);
    EXPECT_DOUBLE_EQ(cmd.initPos.Longitude, 4.76);
    EXPECT_EQ(cmd.initPos.Altitude, 0.0);
    EXPECT_EQ(cmd.initPos.Pitch, 0.0);
    EXPECT_EQ(cmd.initPos.Bank, 0.0);
    EXPECT_NEAR(cmd.initPos.Heading, 90.0, 1e-9);
    EXPECT_EQ(cmd.initPos.OnGround, 1u);
    EXPECT_EQ(cmd.initPos.Airspeed, 0u);
    EXPECT_EQ(cmd.callsign, "KLM123*");
    EXPECT_EQ(cmd.title, "Generic 738");
    EXPECT_EQ(cmd.hexid, 1u);
}

TEST_F(PlaceStatic, ParkedListEntryKeepsItsServiceHexidAndKind)
{
    placeStand(3, "C3", 52.30, 4.76);
    g_staticParkQueue.push_back(planEntry(3, "KLM55", "", 1, 0, "KLM", "B738", 0x484abc));
    lf_parkStatic();
    ASSERT_EQ(g_staticAc.size(), 1u);
    EXPECT_EQ(g_staticAc[0].planKind, 0u);
    EXPECT_EQ(g_staticAc[0].serviceHexid, 0x484abcu);
    EXPECT_EQ(g_staticAc[0].hexid, 1u);  // static hexids come from the counter, never from the feed
}

TEST_F(PlaceStatic, WithoutCallsignTheAirlineAndCounterNameIt)
{
    placeStand(3, "C3", 52.30, 4.76);
    g_staticCounter = 41;
    g_staticParkQueue.push_back(planEntry(3, "", "", 1, 0, "TRA"));
    lf_parkStatic();
    ASSERT_EQ(g_staticAc.size(), 1u);
    EXPECT_EQ(g_staticAc[0].callsign, "TRA42*");
    EXPECT_EQ(g_staticCreateRequests.front().callsign, "TRA42*");
}

TEST_F(PlaceStatic, HexidsRun1To9999AndSkipTheOnesStillHeld)
{
    for (std::uint32_t id = 1; id <= 3; ++id)
        placeStand(id, "S" + std::to_string(id), 52.30 + id * 0.01, 4.76);
    // A static aircraft from the previous round still holds hexid 2.
    placeStand(4, "S4", 52.40, 4.90);
    addStaticAc(2, "KLM4*", 4);
    g_staticCounter = 9998;
    for (std::uint32_t id = 3; id >= 1; --id)
        g_staticParkQueue.push_back(planEntry(id, "KLM" + std::to_string(id)));
    // Never 0, which means "none" for a hexid.
    const std::uint32_t expected[] = {9999, 1, 3};
    for (const std::uint32_t hexid : expected) {
        lf_parkStatic();
        ASSERT_FALSE(g_staticAc.empty());
        EXPECT_EQ(g_staticAc.back().hexid, hexid);
        EXPECT_EQ(g_staticCreateRequests.back().hexid, hexid);
    }
    EXPECT_EQ(g_staticCounter, 3u);
}

TEST_F(PlaceStatic, StampIsTheClockMovedBackByTheOffset)
{
    struct Case {
        DaySlot now;
        std::uint32_t offset;
        DaySlot expected;
    };
    const Case cases[] = {
        {gf_makeDaySlot(3, 20), 0, gf_makeDaySlot(3, 20)},
        {gf_makeDaySlot(3, 20), 20, gf_makeDaySlot(3, 0)},
        {gf_makeDaySlot(3, 2), 5, gf_makeDaySlot(2, 45)},
        {gf_makeDaySlot(1, 2), 5, gf_makeDaySlot(7, 45)},  // the day before Monday is Sunday
        {gf_makeDaySlot(1, 2), 60, gf_makeDaySlot(6, 38)},  // more than a day back stays a real slot
    };
    std::uint32_t id = 1;
    for (const Case& c : cases) {
        placeStand(id, "S" + std::to_string(id), 52.0 + id * 0.01, 4.0);
        g_nowDaySlot.store(c.now);
        g_staticParkQueue.push_back(planEntry(id, "KLM" + std::to_string(id), "", 1, c.offset));
        lf_parkStatic();
        ASSERT_EQ(g_staticAc.size(), id);
        EXPECT_EQ(gf_weekdayOf(g_staticAc.back().stamp), gf_weekdayOf(c.expected)) << "offset " << c.offset;
        EXPECT_EQ(gf_slotOf(g_staticAc.back().stamp), gf_slotOf(c.expected)) << "offset " << c.offset;
        ++id;
    }
}

TEST_F(PlaceStatic, LiveAircraftOnTheStandOrNextToItDropsTheEntry)
{
    g_optLog.set(true);
    placeStand(1, "D1", 52.30, 4.76);
    placeStand(2, "D2", 52.3003, 4.76);
    placeStand(3, "D3", 52.40, 4.76);
    tvxtest::overlapStands(1, 2);

    addLiveAc(0x400001, "DLH1", 52.30, 4.76, AcPhase::Parked, 1);
    g_staticParkQueue.push_back(planEntry(1, "KLM1"));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_TRUE(logHas("D1      : no static parking for KLM1, live aircraft DLH1 standing here"));

    // Taxiing in to the overlapping stand counts too.
    g_liveAc.clear();
    addLiveAc(0x400002, "DLH2", 52.3003, 4.76, AcPhase::TaxiIn, 2);
    g_staticParkQueue.push_back(planEntry(1, "KLM2"));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(logHas("D1      : no static parking for KLM2, live aircraft DLH2 is adjacent at D2, possibly colliding"));

    // A live aircraft still taxiing (phase 2) on the stand does not block it.
    g_liveAc.clear();
    addLiveAc(0x400003, "DLH3", 52.30, 4.76, AcPhase::Taxiing, 1);
    g_staticParkQueue.push_back(planEntry(1, "KLM3"));
    lf_parkStatic();
    EXPECT_EQ(g_staticAc.size(), 1u);
}

TEST_F(PlaceStatic, ALiveAircraftFlyingTheEntrysFlightDropsItWhereverItIs)
{
    g_optLog.set(true);
    placeStand(1, "F1", 52.30, 4.76);
    // Still taxiing in, far from the stand and with none claimed yet: the copy is not placed.
    addLiveAc(0x400001, "KLM1_", 52.40, 4.76, AcPhase::Taxiing, 0);
    g_staticParkQueue.push_back(planEntry(1, "KLM1"));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(logHas("F1      : no static parking for KLM1, live aircraft KLM1_ is the same flight"));
    // Its next flight counts too; once the live aircraft is being removed the copy goes in.
    g_liveAc.back().callsign = "KLM2";
    g_staticParkQueue.push_back(planEntry(1, "KLM1", "KLM2", 0));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    g_liveAc.back().state = AcState::BeingRemoved;
    g_staticParkQueue.push_back(planEntry(1, "KLM1", "KLM2", 0));
    lf_parkStatic();
    ASSERT_EQ(g_staticAc.size(), 1u);
    EXPECT_EQ(g_staticAc.back().callsign, "KLM2*");
}

TEST_F(PlaceStatic, StaticAircraftInAnyStateDropsTheEntry)
{
    g_optLog.set(true);
    placeStand(1, "E1", 52.30, 4.76);
    placeStand(2, "E2", 52.3003, 4.76);
    tvxtest::overlapStands(1, 2);
    const AcState states[] = {AcState::CreationRequested, AcState::Placed, AcState::BeingRemoved};
    for (const AcState state : states) {
        g_staticAc.clear();
        addStaticAc(7, "KLM7*", 2, state);
        g_staticParkQueue.push_back(planEntry(1, "KLM8"));
        lf_parkStatic();
        EXPECT_EQ(g_staticAc.size(), 1u) << "state " << static_cast<int>(state);
        EXPECT_TRUE(g_staticCreateRequests.empty());
    }
    EXPECT_TRUE(logHas("E1      : no static parking for KLM8, static aircraft KLM7* is adjacent at E2, possibly colliding"));
}

TEST_F(PlaceStatic, UnknownStandAndMissingLiveryDropTheEntry)
{
    placeStand(1, "F1", 52.30, 4.76);
    g_staticParkQueue.push_back(planEntry(99, "KLM9"));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(logHas("===> stand with id 99 not found"));
    EXPECT_EQ(g_staticCounter, 0u);

    // No livery for a light aircraft: the aircraft is taken back, nothing is queued.
    g_staticParkQueue.push_back(planEntry(1, "PH-ABC", "", 1, 0, "", "C172"));
    lf_parkStatic();
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(g_staticCreateRequests.empty());
    EXPECT_TRUE(g_staticParkQueue.empty());
}

TEST_F(PlaceStatic, NothingHappensWithoutStands)
{
    g_staticParkQueue.push_back(planEntry(1, "KLM1"));
    lf_parkStatic();
    EXPECT_EQ(g_staticParkQueue.size(), 1u);  // kept for when the stands are there
    EXPECT_TRUE(g_staticAc.empty());
}

TEST_F(PlaceStatic, DropsTheWorkListEntriesOfAStand)
{
    g_staticParkQueue = {planEntry(1, "A"), planEntry(2, "B"), planEntry(1, "C"), planEntry(3, "D")};
    gf_dropStaticParkEntries(1);
    ASSERT_EQ(g_staticParkQueue.size(), 2u);
    EXPECT_EQ(g_staticParkQueue[0].callsign, "B");
    EXPECT_EQ(g_staticParkQueue[1].callsign, "D");
}

}  // namespace
