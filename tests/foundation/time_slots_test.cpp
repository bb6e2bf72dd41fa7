// The schedule clock: slot packing, week order, day names, clock texts and the slot-set texts.
#include "foundation/time_slots.h"

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/temp_folder.h"

namespace {

constexpr std::int64_t kMonday2024 = 1704067200;  // Mon 2024-01-01 00:00:00 UTC

class FixedClock : public ::testing::Test {
protected:
    void TearDown() override
    {
        gf_releaseClock();
        gf_setTimeShiftMode(false);
        gf_setTrafficDataTime(0.0);
    }
};

TEST_F(FixedClock, StampPacksWeekdayLowAndHalfHourSlotHigh)
{
    struct Row {
        std::int64_t seconds;
        std::uint32_t weekday, slot;
    };
    const Row rows[] = {
        {kMonday2024, 1, 0},
        {kMonday2024 + 29 * 60 + 59, 1, 0},
        {kMonday2024 + 30 * 60, 1, 1},
        {kMonday2024 + 23 * 3600 + 59 * 60 + 59, 1, 47},
        {kMonday2024 + 86400 + 10 * 3600 + 45 * 60, 2, 21},
        {1704630600, 7, 25},  // Sun 2024-01-07 12:30
        {-1, 3, 47},          // Wed 1969-12-31 23:59:59
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.seconds);
        gf_setFixedClock(r.seconds);
        const DaySlot stamp = gf_nowDaySlot();
        EXPECT_EQ(stamp, (static_cast<std::uint64_t>(r.slot) << 32) | r.weekday);
        EXPECT_EQ(gf_weekdayOf(stamp), r.weekday);
        EXPECT_EQ(gf_slotOf(stamp), r.slot);
    }
    gf_setFixedClock(1704630600);
    EXPECT_EQ(gf_nowDaySlot(), 107374182407u);  // 25 << 32 | 7
}

TEST_F(FixedClock, TimeShiftModeFollowsTheTrafficDataTime)
{
    gf_setFixedClock(kMonday2024 + 8 * 3600);  // Monday 08:00
    gf_setTrafficDataTime(static_cast<double>(kMonday2024 - 3600) + 0.75);  // Sunday 23:00:00.75
    EXPECT_EQ(gf_nowDaySlot(), gf_makeDaySlot(1, 16));
    EXPECT_EQ(gf_clockText(), "08:00:00");
    gf_setTimeShiftMode(true);
    EXPECT_EQ(gf_nowDaySlot(), gf_makeDaySlot(7, 46));
    EXPECT_EQ(gf_clockText(), "23:00:00<<< ");
    EXPECT_EQ(gf_utcClockText(), "08:00:00");  // always the real clock
}

TEST_F(FixedClock, TimeShiftModeKeepsTheLastDataTimeWhileTheFeedIsQuiet)
{
    // A reply without traffic sets the data time to 0: the schedule clock stays at the last time
    // the service gave, not at 1970-01-01 00:00 (a Thursday).
    gf_setFixedClock(kMonday2024 + 8 * 3600);
    gf_setTimeShiftMode(true);
    gf_setTrafficDataTime(static_cast<double>(kMonday2024 + 2 * 86400 + 10 * 3600));  // Wednesday 10:00
    gf_setTrafficDataTime(0.0);
    EXPECT_EQ(gf_trafficDataTime(), 0.0);
    EXPECT_EQ(gf_nowDaySlot(), gf_makeDaySlot(3, 20));
    EXPECT_EQ(gf_clockText(), "10:00:00<<< ");
}

TEST(Week, HalfHoursFromTheEarlierToTheLaterStamp)
{
    struct Row {
        std::uint32_t dayA, slotA, dayB, slotB, halfHours;
    };
    const Row rows[] = {
        {1, 0, 1, 0, 0},
        {1, 0, 1, 5, 5},
        {1, 0, 2, 0, 48},
        {2, 3, 7, 1, 238},
        {7, 47, 1, 0, 1},    // day 1 is after day 7: (1 − 7) × 48 + 0 − 47 + 336
        {7, 0, 1, 0, 48},
        {7, 10, 1, 40, 78},
        {3, 20, 3, 4, 16},
    };
    for (const Row& r : rows) {
        const DaySlot a = gf_makeDaySlot(r.dayA, r.slotA);
        const DaySlot b = gf_makeDaySlot(r.dayB, r.slotB);
        EXPECT_EQ(gf_isAfterInWeek(a, b), r.halfHours) << r.dayA << "/" << r.slotA << " " << r.dayB << "/" << r.slotB;
        EXPECT_EQ(gf_isAfterInWeek(b, a), r.halfHours) << "reversed";
    }
}

TEST(Week, DayNames)
{
    const char* names[] = {"wrong day", "Monday", "Tuesday", "Wednesday", "Thursday",
                           "Friday",    "Saturday", "Sunday", "wrong day"};
    for (std::uint32_t day = 0; day <= 8; ++day)
        EXPECT_EQ(gf_dayName(day), names[day]);
}

TEST_F(FixedClock, UtcTexts)
{
    EXPECT_EQ(gf_utcText(kMonday2024), "Mon Jan 01 00:00:00 2024");
    EXPECT_EQ(gf_utcText(951868799), "Tue Feb 29 23:59:59 2000");
    EXPECT_EQ(gf_utcText(1796617603), "Mon Dec 07 04:26:43 2026");
    gf_setFixedClock(951868799);
    EXPECT_EQ(gf_utcClockText(), "23:59:59");
}

TEST(SlotSets, CommaListsBothWays)
{
    EXPECT_TRUE(lf_hours2bitset("").none());
    EXPECT_EQ(lf_bitset2hours(SlotSet{}), "");

    const SlotSet slots = lf_hours2bitset("47,3,0,4");
    EXPECT_EQ(slots.count(), 4u);
    EXPECT_TRUE(slots.test(0) && slots.test(3) && slots.test(4) && slots.test(47));
    EXPECT_EQ(lf_bitset2hours(slots), "0,3,4,47");
    EXPECT_EQ(lf_hours2bitset(lf_bitset2hours(slots)), slots);

    SlotSet all;
    all.set();
    EXPECT_EQ(lf_hours2bitset(lf_bitset2hours(all)), all);
}

TEST(SlotSets, BadPieceOrSlot48IsLoggedAndTheSetSoFarKept)
{
    tvxtest::TempFolder dir;
    ASSERT_TRUE(gf_openLog(dir.path(), "test"));
    const SlotSet badPiece = lf_hours2bitset("3,x,5");
    const SlotSet slot48 = lf_hours2bitset("1,2,48,6");
    const SlotSet negative = lf_hours2bitset("9,-1");
    gf_closeLog();

    EXPECT_EQ(lf_bitset2hours(badPiece), "3");
    EXPECT_EQ(lf_bitset2hours(slot48), "1,2");
    EXPECT_EQ(lf_bitset2hours(negative), "9");
    const std::string log = tvxtest::readFile(dir / "Log.txt");
    EXPECT_NE(log.find("\n===> exception invalid stoi argument in lf_hours2bitset\n"), std::string::npos) << log;
    const auto first = log.find("\n===> exception invalid bitset position in lf_hours2bitset\n");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("\n===> exception invalid bitset position in lf_hours2bitset\n", first + 1), std::string::npos);
}

}  // namespace
