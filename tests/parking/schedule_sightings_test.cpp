// Stand schedules learned at run time: real and soft sightings with their gap filling over the
// day and over midnight, the coupled-callsign window, soft learning near the park airport and the
// parked static count with its average.
#include "parking/stand_schedule.h"

#include <gtest/gtest.h>

#include "app/window_model.h"
#include "foundation/settings.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_choice.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "support/schedule_fixture.h"

using namespace tvxtest;

namespace {

constexpr std::uint32_t kHex = 0x484001;

std::vector<std::uint32_t> lf_slots(const ParkPosOption& o)
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t s = 0; s < 48; ++s)
        if (gf_testSlot(o.slots, s))
            out.push_back(s);
    return out;
}

class Sightings : public ScheduleTest {
protected:
    Sightings()
    {
        addStand(1, "A1", 0, 0);
        m_ac = aircraft("B738", "KLM1234", "PH-BXA", kHex);
    }
    AcData m_ac;
};

TEST_F(Sightings, FirstRealSightingCreatesTheOptionAndCountsAnUpdate)
{
    EXPECT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(3, 10), false));
    const ParkPos& stand = standById(1);
    ASSERT_EQ(stand.options.size(), 1u);
    const ParkPosOption& o = stand.options[0];
    EXPECT_EQ(o.weekday, 3u);
    EXPECT_EQ(o.real, 1u);
    EXPECT_EQ(o.number, 1u);
    EXPECT_EQ(o.callsign, "KLM1234");
    EXPECT_EQ(lf_slots(o), std::vector<std::uint32_t>({10}));
    ASSERT_TRUE(stand.realSightings.contains(kHex));
    EXPECT_EQ(stand.realSightings.at(kHex).stamp, gf_makeDaySlot(3, 10));
    EXPECT_EQ(stand.realSightings.at(kHex).number, 1u);
    EXPECT_EQ(g_parkUpdates, 1u);
}

TEST_F(Sightings, RealSightingNeedsRegistrationCallsignAndStand)
{
    AcData noReg = aircraft("B738", "KLM1", "", kHex);
    AcData noCallsign = aircraft("B738", "", "PH-BXA", kHex);
    EXPECT_FALSE(lf_addRealParkPosOption(1, noReg, false, gf_makeDaySlot(3, 10), false));
    EXPECT_FALSE(lf_addRealParkPosOption(1, noCallsign, false, gf_makeDaySlot(3, 10), false));
    EXPECT_FALSE(lf_addRealParkPosOption(9, m_ac, false, gf_makeDaySlot(3, 10), false));
    EXPECT_TRUE(standById(1).options.empty());
    EXPECT_EQ(g_parkUpdates, 0u);
}

TEST_F(Sightings, SecondSightingAtAMarkedSlotChangesNothingButLeavingForgets)
{
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(3, 10), false));
    EXPECT_FALSE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(3, 10), false));
    EXPECT_TRUE(standById(1).realSightings.contains(kHex));
    EXPECT_EQ(g_parkUpdates, 1u);
    EXPECT_FALSE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(3, 10), true));
    EXPECT_FALSE(standById(1).realSightings.contains(kHex));
    EXPECT_EQ(standById(1).options.size(), 1u);
}

TEST_F(Sightings, GapsOfOneToFiveHalfHoursAreFilledSixAreNot)
{
    for (std::uint32_t d = 1; d <= 6; ++d) {
        SCOPED_TRACE(d);
        g_parkPositions.clear();
        addStand(1, "A1", 0, 0);
        ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(2, 10), false));
        ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(2, 10 + d), false));
        std::vector<std::uint32_t> expected;
        if (d <= 5)
            for (std::uint32_t s = 10; s <= 10 + d; ++s)
                expected.push_back(s);
        else
            expected = {10, 16};
        EXPECT_EQ(lf_slots(standById(1).options.at(0)), expected);
        // A filled gap moves the sighting on; an unfilled one keeps the old stamp.
        EXPECT_EQ(standById(1).realSightings.at(kHex).stamp, gf_makeDaySlot(2, d <= 5 ? 10 + d : 10));
    }
}

TEST_F(Sightings, GapOverMidnightFillsTheOldDayAndStartsANewOption)
{
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(3, 46), false));
    // The aircraft is known on day 4 already (slot 30), so the day-4 option exists.
    addOption(standById(1), 4, {30}, "KLM1234", "", "PH-BXA");
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(4, 1), false));
    const auto& options = standById(1).options;
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(lf_slots(options[0]), std::vector<std::uint32_t>({46, 47}));
    EXPECT_EQ(lf_slots(options[1]), std::vector<std::uint32_t>({1, 30}));
    EXPECT_EQ(options[2].weekday, 4u);
    EXPECT_EQ(options[2].number, 3u);
    EXPECT_EQ(lf_slots(options[2]), std::vector<std::uint32_t>({0, 1}));
    EXPECT_EQ(standById(1).realSightings.at(kHex).number, 3u);
    EXPECT_EQ(standById(1).realSightings.at(kHex).stamp, gf_makeDaySlot(4, 1));
}

TEST_F(Sightings, ASightingOfAnotherWeekdayIsNoSameDayGap)
{
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(2, 10), false));
    addOption(standById(1), 3, {30}, "KLM1234", "", "PH-BXA");
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(3, 12), false));
    EXPECT_EQ(lf_slots(standById(1).options[1]), std::vector<std::uint32_t>({12, 30}));
    EXPECT_EQ(lf_slots(standById(1).options[0]), std::vector<std::uint32_t>({10}));
}

TEST_F(Sightings, OptionsFromFilesAreNeverChanged)
{
    ParkPosOption& o = addOption(standById(1), 3, {5}, "KLM1234", "", "PH-BXA");
    o.source = 1;
    EXPECT_FALSE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(3, 6), false));
    EXPECT_EQ(lf_slots(standById(1).options[0]), std::vector<std::uint32_t>({5}));
}

TEST_F(Sightings, LeavingAfterAFilledGapForgetsTheSighting)
{
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(5, 20), false));
    ASSERT_TRUE(lf_addRealParkPosOption(1, m_ac, true, gf_makeDaySlot(5, 23), true));
    EXPECT_EQ(lf_slots(standById(1).options[0]), std::vector<std::uint32_t>({20, 21, 22, 23}));
    EXPECT_FALSE(standById(1).realSightings.contains(kHex));
}

TEST_F(Sightings, SoftSightingsMatchEmptyRegistrationsAndFillGaps)
{
    AcData ga = aircraft("C172", "PHABC", "", 0x484002, "PVT");
    EXPECT_TRUE(lf_addSoftParkPosOption(1, ga, false, gf_makeDaySlot(6, 8)));
    EXPECT_TRUE(lf_addSoftParkPosOption(1, ga, true, gf_makeDaySlot(6, 10)));
    const auto& options = standById(1).options;
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(options[0].real, 0u);
    EXPECT_EQ(lf_slots(options[0]), std::vector<std::uint32_t>({8, 9, 10}));
    EXPECT_TRUE(standById(1).softSightings.contains(0x484002u));
    EXPECT_FALSE(standById(1).realSightings.contains(0x484002u));
    // A real option of the same registration is not a soft one.
    EXPECT_FALSE(lf_addSoftParkPosOption(1, ga, false, gf_makeDaySlot(6, 10)));
}

TEST_F(Sightings, AnErrorIsLoggedWithTheSlotAndAnswersFalse)
{
    EXPECT_FALSE(lf_addRealParkPosOption(1, m_ac, false, gf_makeDaySlot(3, 48), false));
    EXPECT_NE(logText().find("===> lf_addRealParkPosOption: hh_now: 48, invalid bitset position"), std::string::npos)
        << logText();
    EXPECT_EQ(g_parkUpdates, 0u);
}

TEST_F(Sightings, CoupledCallsignWindowIsFourteenHalfHoursForAHeavyAndTenOtherwise)
{
    struct Case {
        std::string type;
        std::uint32_t optionSlot;
        std::uint32_t nowSlot;
        bool found;
    };
    const Case cases[] = {
        {"A388", 17, 3, true},  {"A388", 18, 3, false}, {"A388", 0, 3, true},
        {"B738", 30, 20, true}, {"B738", 31, 20, false}, {"B738", 10, 20, true}, {"B738", 9, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type + " option slot " + std::to_string(c.optionSlot));
        g_parkPositions.clear();
        addStand(1, "A1", 0, 0);
        addOption(standById(1), 2, {c.optionSlot}, "KLM1234", "KLM1235");
        AcData ac = aircraft(c.type, "KLM1235_", "PH-BXA");
        ac.coupledCallsign1 = "own";
        lf_searchForCoupledCsAroundThisTime(gf_makeDaySlot(2, c.nowSlot), ac);
        EXPECT_EQ(ac.coupledCallsign1, c.found ? "KLM1234" : "own");
        EXPECT_EQ(ac.coupledCallsign2, c.found ? "KLM1235" : "");
    }
}

TEST_F(Sightings, CoupledSearchNeedsAirlineWeekdayAndASecondCallsign)
{
    addOption(standById(1), 2, {20}, "KLM1234", "");        // no second callsign
    addOption(standById(1), 3, {20}, "KLM1234", "KLM1235");  // other weekday
    addOption(standById(1), 2, {20}, "KLM1234", "KLM1235", "", 1, "MPH");  // other airline
    AcData ac = aircraft("B738", "KLM1234", "PH-BXA");
    lf_searchForCoupledCsAroundThisTime(gf_makeDaySlot(2, 20), ac);
    EXPECT_EQ(ac.coupledCallsign2, "");
    addOption(standById(1), 2, {20}, "KLM1233", "KLM1234");
    lf_searchForCoupledCsAroundThisTime(gf_makeDaySlot(2, 20), ac);
    EXPECT_EQ(ac.coupledCallsign1, "KLM1233");
    EXPECT_EQ(ac.coupledCallsign2, "KLM1234");
}

TEST_F(Sightings, ParkedHalfHoursFollowTheWeekOrder)
{
    struct Case {
        DaySlot stamp, now;
        std::uint32_t halfHours;
    };
    const Case cases[] = {
        {gf_makeDaySlot(7, 46), gf_makeDaySlot(1, 1), 3},   // over the week's end
        {gf_makeDaySlot(1, 2), gf_makeDaySlot(7, 30), 0},   // now before the stamp
        {gf_makeDaySlot(3, 10), gf_makeDaySlot(3, 9), 0},   // same day, earlier slot
        {gf_makeDaySlot(3, 10), gf_makeDaySlot(3, 10), 0},
        {gf_makeDaySlot(3, 10), gf_makeDaySlot(4, 2), 40},
        {gf_makeDaySlot(5, 10), gf_makeDaySlot(2, 2), 0},   // earlier weekday
    };
    for (const Case& c : cases)
        EXPECT_EQ(lf_addParkedHalfHours(c.stamp, c.now), c.halfHours) << gf_daySlotText(c.stamp);
}

TEST_F(Sightings, ParkedStaticCountAndAverageHours)
{
    g_nowDaySlot.store(gf_makeDaySlot(1, 1));
    parkStatic(1, "KLM1*", gf_makeDaySlot(7, 46));
    parkStatic(1, "KLM2*", gf_makeDaySlot(1, 1), 1, AcState::Buffering);  // not counted
    EXPECT_EQ(gf_countStaticParked(true), 1u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursStatic, 2.0);

    g_staticAc.clear();
    g_nowDaySlot.store(gf_makeDaySlot(7, 30));
    parkStatic(1, "KLM1*", gf_makeDaySlot(1, 2), 1, AcState::BeingRemoved);
    EXPECT_EQ(gf_countStaticParked(true), 1u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursStatic, 0.5);

    g_staticAc.clear();
    EXPECT_EQ(gf_countStaticParked(true), 0u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursStatic, 0.0);

    g_optWeek.set(true);
    parkStatic(1, "KLM1*", gf_makeDaySlot(1, 2));
    EXPECT_EQ(gf_countStaticParked(true), 1u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursStatic, 0.0);  // not updated with WEEK on
}

class SoftLearning : public ScheduleTest {
protected:
    SoftLearning()
    {
        g_optLearnSoft.set(true);
        g_learnSoftAllowed = true;
        g_parkAirport.code = "EHAM";
        g_parkAirport.lat = kBaseLat;
        g_parkAirport.lon = kBaseLon;
        addStand(1, "R1", 0, 0, 20.0, false, true);
        addStand(2, "R2", 100, 0, 20.0, false, true);
        g_nowDaySlot.store(gf_makeDaySlot(2, 20));
    }
    LiveAc live(double northMetres, double agl)
    {
        LiveAc ac = makeLiveAc(0x484111, "PHXYZ", {rec(latAt(northMetres), lonAt(0), 0)}, SizeClass::Light,
                               AcState::Placed, AcPhase::Taxiing);
        ac.acType = "C172";
        ac.airline = "PVT";
        ac.registration = "PH-XYZ";
        ac.size = 0.005;
        ac.heightAboveGround = agl;
        return ac;
    }
};

TEST_F(SoftLearning, ANearbyAircraftGetsASoftOptionAndLaterFillsItsGap)
{
    LiveAc ac = live(2000, 0);
    gf_learnStandFromLiveAc(ac, false);
    std::uint32_t learnedAt = 0;
    for (const ParkPos& p : g_parkPositions)
        if (!p.options.empty())
            learnedAt = p.standId;
    ASSERT_NE(learnedAt, 0u);
    EXPECT_EQ(standById(learnedAt).options[0].real, 0u);
    EXPECT_TRUE(standById(learnedAt).softSightings.contains(0x484111u));

    g_nowDaySlot.store(gf_makeDaySlot(2, 22));
    gf_learnStandFromLiveAc(ac, false);
    EXPECT_EQ(lf_slots(standById(learnedAt).options[0]), std::vector<std::uint32_t>({20, 21, 22}));
    ASSERT_EQ(g_arrivedLiveAc.size(), 1u);
    EXPECT_EQ(g_arrivedLiveAc[0], std::make_pair(0x484111u, 22u));
}

TEST_F(SoftLearning, NothingIsLearnedFarAwayHighUpWithAStandOrWithoutPermission)
{
    LiveAc far = live(5.1 * 1852.0, 0);
    gf_learnStandFromLiveAc(far, true);
    LiveAc high = live(2000, 2600);
    gf_learnStandFromLiveAc(high, false);
    LiveAc standing = live(2000, 0);
    standing.standId = 2;
    gf_learnStandFromLiveAc(standing, true);
    g_learnSoftAllowed = false;
    LiveAc ok = live(2000, 0);
    gf_learnStandFromLiveAc(ok, true);
    for (const ParkPos& p : g_parkPositions)
        EXPECT_TRUE(p.options.empty()) << p.name;
    // A forced aircraft is learned however high it is.
    g_learnSoftAllowed = true;
    gf_learnStandFromLiveAc(high, true);
    EXPECT_EQ(g_parkUpdates, 1u);
}

}  // namespace
