// Feed hand-over and record acceptance: play-out stamping, the live hand-over and its drops, the
// two-records-a-tick intake, history buffers before and after the AI tick starts, the swallow rules
// at their edges, the park-elevation band and the creation of new live aircraft.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <thread>

#include "foundation/settings.h"
#include "live_fixture.h"
#include "traffic_service/traffic_client.h"

namespace {

using tvxtest::liveRecord;
using tvxtest::LiveTrafficTest;

class FeedHandover : public LiveTrafficTest {};

TEST_F(FeedHandover, StampsPlayOutSlotsFromTheMedianWithoutADataTime)
{
    g_tick.store(1000);
    std::vector<TrafficRecord> batch{liveRecord(0x100001, "A1", "B738", 10.0), liveRecord(0x100002, "A2", "B738", 11.0),
                                     liveRecord(0x100003, "A3", "B738", 12.0), liveRecord(0x100004, "A4", "B738", 13.0)};
    // Median 12: the upper of the two middle values.
    gf_handleTrafficBatch(batch, 30);
    EXPECT_TRUE(batch.empty());
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 4u);
        EXPECT_EQ(g_udpMessages[0].pos.slot, 3800);
        EXPECT_EQ(g_udpMessages[1].pos.slot, 3900);
        EXPECT_EQ(g_udpMessages[2].pos.slot, 4000);
        EXPECT_EQ(g_udpMessages[3].pos.slot, 4100);
        g_udpMessages.clear();
    }

    // A record 0.05 s older than the median gets the median's slot (truncation toward zero);
    // 0.15 s older is one tenth of a second (10 ticks) earlier.
    std::vector<TrafficRecord> second{liveRecord(0x100001, "A1", "B738", 13.0), liveRecord(0x100002, "A2", "B738", 12.95),
                                      liveRecord(0x100003, "A3", "B738", 13.0), liveRecord(0x100004, "A4", "B738", 12.85)};
    gf_handleTrafficBatch(second, 30);
    std::lock_guard lock(g_udpMutex);
    ASSERT_EQ(g_udpMessages.size(), 4u);
    EXPECT_EQ(g_udpMessages[0].pos.slot, 4000);
    EXPECT_EQ(g_udpMessages[1].pos.slot, 4000);
    EXPECT_EQ(g_udpMessages[3].pos.slot, 3990);
}

// With the reply's data time a live record plays out 30 s after its own feed time: a lone
// aircraft whose record arrives 2.5 s old plays out 2.5 s sooner, whatever the batch's median.
TEST_F(FeedHandover, StampsLivePlayOutSlotsFromTheReplysDataTime)
{
    g_tick.store(1000);
    TrafficClient client;
    client.setTrafficDataTime(103.0);
    client.liveRecords() = {liveRecord(0x100001, "A1", "B738", 100.5)};
    gf_handleTrafficBatch(client, 30);
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 1u);
        EXPECT_EQ(g_udpMessages[0].pos.slot, 1000 + 3000 - 250);
        g_udpMessages.clear();
    }

    // The service gives whole seconds: a record newer than the data time takes its place.
    client.liveRecords() = {liveRecord(0x100001, "A1", "B738", 103.5), liveRecord(0x100002, "A2", "B738", 101.0)};
    gf_handleTrafficBatch(client, 30);
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 2u);
        EXPECT_EQ(g_udpMessages[0].pos.slot, 4000);
        EXPECT_EQ(g_udpMessages[1].pos.slot, 4000 - 250);
        g_udpMessages.clear();
    }

    // A data time an hour newer than every record would play the whole batch out at once: the
    // batch is stamped from its median, as without a data time. 30 s older still counts.
    client.setTrafficDataTime(3703.0);
    client.liveRecords() = {liveRecord(0x100001, "A1", "B738", 100.0), liveRecord(0x100002, "A2", "B738", 103.0)};
    gf_handleTrafficBatch(client, 30);
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 2u);
        EXPECT_EQ(g_udpMessages[0].pos.slot, 4000 - 300);
        EXPECT_EQ(g_udpMessages[1].pos.slot, 4000);
        g_udpMessages.clear();
    }
    client.setTrafficDataTime(133.0);
    client.liveRecords() = {liveRecord(0x100001, "A1", "B738", 103.0)};
    gf_handleTrafficBatch(client, 30);
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 1u);
        EXPECT_EQ(g_udpMessages[0].pos.slot, 4000 - 3000);
        g_udpMessages.clear();
    }

    // History buffers keep their delay from the median.
    client.liveRecords() = {liveRecord(0x100003, "A3", "B738", 90.0)};
    gf_handleTrafficBatch(client, 12);
    client.setTrafficDataTime(0.0);
    lf_handleUdpMessages();
    ASSERT_EQ(g_liveAc.size(), 1u);
    EXPECT_EQ(g_liveAc[0].stream.front().slot, 1000 + 1200);
}

// A history buffer plays out like a live reply: each record the live delay after its own feed time
// by the reply's data time, not its buffer's delay after the buffer's median. The second oldest of
// five buffers (delay 6) holds a snapshot 18 s before the data time 103: records of 85 and 83.5
// play out 12 and 10.5 s after the arrival (by the median, 6 and 4.5 s: 24 s after the snapshot).
// The empty oldest buffer before it (no aircraft in range yet) keeps the reply's data time.
TEST_F(FeedHandover, HistoryBuffersPlayOutTheLiveDelayAfterTheirFeedTimes)
{
    gf_resetFeedHandover();  // start-up: applied at once on this thread
    g_tick.store(1000);
    TrafficClient client;
    client.setTrafficDataTime(103.0);
    client.liveRecords().clear();
    gf_handleTrafficBatch(client, 0);
    EXPECT_EQ(client.trafficDataTime(), 103.0);
    client.liveRecords() = {liveRecord(0x100001, "A1", "B738", 85.0), liveRecord(0x100002, "A2", "B738", 83.5)};
    gf_handleTrafficBatch(client, 6);
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[0].stream.front().slot, 1000 + 3000 - 1800);
    EXPECT_EQ(g_liveAc[1].stream.front().slot, 1000 + 3000 - 1950);
    // The newest buffer plays out as the live part of the same reply would.
    client.liveRecords() = {liveRecord(0x100003, "A3", "B738", 102.0)};
    gf_handleTrafficBatch(client, 24);
    ASSERT_EQ(g_liveAc.size(), 3u);
    EXPECT_EQ(g_liveAc[2].stream.front().slot, 1000 + 3000 - 100);
}

// The data time drops the service's fraction of a second. A reply taken at once at tick 1000 that
// says 103 puts the service's clock 93 to 94 s ahead of the tick's; alone it tells nothing of the
// fraction, so its record of 103 plays out 30 s on. One at tick 1250 that says 105 narrows that to
// 93-93.5: "now" is 105.75 by its middle and the record of 105 plays out 0.75 s sooner (whole
// tenths: 0.7). A data time far below that (a changed time shift) starts it afresh.
TEST_F(FeedHandover, DataTimesInWholeSecondsNarrowTheServiceClock)
{
    TrafficClient client;
    auto slotOf = [&](std::int32_t tick, double dataTime, double recordTime) {
        g_tick.store(tick);
        client.setTrafficDataTime(dataTime);
        client.liveRecords() = {liveRecord(0x100001, "A1", "B738", recordTime)};
        gf_handleTrafficBatch(client, 30);
        std::lock_guard lock(g_udpMutex);
        EXPECT_EQ(g_udpMessages.size(), 1u);
        const std::int32_t slot = g_udpMessages.empty() ? -1 : g_udpMessages[0].pos.slot;
        g_udpMessages.clear();
        return slot;
    };
    EXPECT_EQ(slotOf(1000, 103.0, 103.0), 1000 + 3000);
    EXPECT_EQ(slotOf(1250, 105.0, 105.0), 1250 + 3000 - 70);
    EXPECT_EQ(slotOf(1300, 50.0, 50.0), 1300 + 3000);
}

TEST_F(FeedHandover, SecondLiveBatchIsDroppedWholeUntilTheFirstIsTaken)
{
    std::vector<TrafficRecord> first{liveRecord(0x100001, "A1", "B738", 10.0), liveRecord(0x100002, "A2", "B738", 10.0),
                                     liveRecord(0x100003, "A3", "B738", 10.0)};
    gf_handleTrafficBatch(first, 30);
    lf_handleUdpMessages();  // takes two, one is left
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 1u);
    }
    std::vector<TrafficRecord> second{liveRecord(0x200001, "B1", "B738", 20.0), liveRecord(0x200002, "B2", "B738", 20.0)};
    gf_handleTrafficBatch(second, 30);
    EXPECT_TRUE(second.empty());
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 1u);
        EXPECT_EQ(g_udpMessages[0].hexid, 0x100001u);
    }
    lf_handleUdpMessages();

    // Closed hand-over: dropped as well.
    gf_acceptUdpMessages(false);
    std::vector<TrafficRecord> third{liveRecord(0x300001, "C1", "B738", 30.0)};
    gf_handleTrafficBatch(third, 30);
    EXPECT_TRUE(third.empty());
    {
        std::lock_guard lock(g_udpMutex);
        EXPECT_TRUE(g_udpMessages.empty());
    }

    gf_acceptUdpMessages(true);
    std::vector<TrafficRecord> fourth{liveRecord(0x400001, "D1", "B738", 40.0)};
    gf_handleTrafficBatch(fourth, 30);
    std::lock_guard lock(g_udpMutex);
    EXPECT_EQ(g_udpMessages.size(), 1u);
}

TEST_F(FeedHandover, AtMostTwoRecordsATickNewestPositionFirst)
{
    std::vector<TrafficRecord> batch{liveRecord(0x100001, "A1", "B738", 10.0), liveRecord(0x100002, "A2", "B738", 10.0),
                                     liveRecord(0x100003, "A3", "B738", 10.0)};
    gf_handleTrafficBatch(batch, 30);
    lf_handleUdpMessages();
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[0].hexid, 0x100003u);
    EXPECT_EQ(g_liveAc[1].hexid, 0x100002u);
    lf_handleUdpMessages();
    ASSERT_EQ(g_liveAc.size(), 3u);
    EXPECT_EQ(g_liveAc[2].hexid, 0x100001u);
    lf_handleUdpMessages();  // nothing left: nothing happens
    EXPECT_EQ(g_liveAc.size(), 3u);
}

TEST_F(FeedHandover, RecordThatThrowsIsConsumedOnce)
{
    const TrafficRecord broken = parkedWithThrowingDeparture(0x100001, "A1", 10.0);
    std::vector<TrafficRecord> batch{liveRecord(0x200001, "B1", "B738", 20.0), broken};
    gf_handleTrafficBatch(batch, 30);

    EXPECT_THROW(lf_handleUdpMessages(), std::runtime_error);
    {
        std::lock_guard lock(g_udpMutex);
        EXPECT_EQ(g_udpMessages.size(), 1u);  // the throwing record is gone, the other waits
    }
    EXPECT_NE(logText().find("===> lf_handleUdpMessages: broken record"), std::string::npos) << logText();
    lf_handleUdpMessages();
    EXPECT_EQ(g_liveAc.size(), 2u);
}

TEST_F(FeedHandover, HistoryAppliedAtOnceBeforeTheMainLoopThenQueuedForIt)
{
    gf_resetFeedHandover();  // start-up: the main loop has not opened the hand-over yet
    g_tick.store(500);
    std::vector<TrafficRecord> early{liveRecord(0x100001, "A1", "B738", 10.0)};
    gf_handleTrafficBatch(early, 12);
    ASSERT_EQ(g_liveAc.size(), 1u);  // applied on the calling thread
    EXPECT_EQ(g_liveAc[0].stream.front().slot, 12 * 100 + 500);
    EXPECT_TRUE(early.empty());

    gf_acceptUdpMessages(true);  // the main loop starts
    std::vector<TrafficRecord> later{liveRecord(0x200001, "B1", "B738", 20.0), liveRecord(0x200002, "B2", "B738", 20.0),
                                     liveRecord(0x200003, "B3", "B738", 20.0)};
    gf_handleTrafficBatch(later, 0);
    EXPECT_TRUE(later.empty());
    EXPECT_EQ(g_liveAc.size(), 1u);  // waits for the main loop
    EXPECT_EQ(gf_pendingHistoryRecords(), 3u);

    std::vector<TrafficRecord> live{liveRecord(0x300001, "C1", "B738", 30.0)};
    gf_handleTrafficBatch(live, 30);
    lf_handleUdpMessages();
    ASSERT_EQ(g_liveAc.size(), 5u);
    // History in vector order first, then the live record.
    EXPECT_EQ(g_liveAc[1].hexid, 0x200001u);
    EXPECT_EQ(g_liveAc[2].hexid, 0x200002u);
    EXPECT_EQ(g_liveAc[3].hexid, 0x200003u);
    EXPECT_EQ(g_liveAc[4].hexid, 0x300001u);
    EXPECT_EQ(gf_pendingHistoryRecords(), 0u);

    // After a reset (restart) the first history is applied directly again.
    gf_resetFeedHandover();
    std::vector<TrafficRecord> again{liveRecord(0x400001, "D1", "B738", 40.0)};
    gf_handleTrafficBatch(again, 6);
    EXPECT_EQ(g_liveAc.size(), 6u);
}

TEST_F(FeedHandover, HistoryFromTheReaderThreadWhileTheMainLoopRuns)
{
    std::thread reader([] {
        for (std::uint32_t b = 0; b < 5; ++b) {
            std::vector<TrafficRecord> batch;
            for (std::uint32_t i = 0; i < 20; ++i)
                batch.push_back(liveRecord(0x100000 + b * 100 + i, "", "B738", 10.0 + i));
            gf_handleTrafficBatch(batch, b * 6);
        }
    });
    std::size_t taken = 0;
    for (int wake = 0; wake < 100000 && taken < 100; ++wake) {
        lf_handleUdpMessages();
        taken = g_liveAc.size();
        if (taken < 100)
            std::this_thread::yield();
    }
    reader.join();
    lf_handleUdpMessages();
    EXPECT_EQ(g_liveAc.size(), 100u);
}

TEST_F(FeedHandover, RecordsWithoutAFiniteTimeAreDropped)
{
    std::vector<TrafficRecord> batch{liveRecord(0x100001, "A1", "B738", std::numeric_limits<double>::quiet_NaN()),
                                     liveRecord(0x100002, "A2", "B738", 10.0),
                                     liveRecord(0x100003, "A3", "B738", std::numeric_limits<double>::infinity())};
    gf_handleTrafficBatch(batch, 30);
    {
        std::lock_guard lock(g_udpMutex);
        ASSERT_EQ(g_udpMessages.size(), 1u);
        EXPECT_EQ(g_udpMessages[0].hexid, 0x100002u);
    }
    EXPECT_NE(logText().find("! 2 feed records without a valid time dropped"), std::string::npos) << logText();
}

// ---- Acceptance ------------------------------------------------------------------------------

struct SwallowCase {
    const char* name;
    double lastSpeed, lastTrack;
    double dt, speed, track;
    bool airborne;
    std::int32_t holdCounter;
    SwallowRule rule;  // the rule that swallows the record, or kTaken
};

constexpr SwallowRule kTaken = SwallowRule::Count;

TEST_F(FeedHandover, SwallowRulesAtTheirEdges)
{
    // Time to fly 450 m at 200 kt: 4.374 s; to roll 20 m at 10 kt: 3.888 s.
    const std::vector<SwallowCase> cases{
        {"same time", 250, 90, 0.0, 250, 95, true, 0, SwallowRule::SameRecord},
        {"older record", 250, 90, -5.0, 250, 95, true, 0, SwallowRule::SameRecord},
        {"1.0 s later", 250, 90, 1.0, 250, 95, true, 0, SwallowRule::SameRecord},
        {"1.01 s later", 250, 90, 1.01, 250, 95, true, 0, kTaken},
        {"4 to 80 kt", 4, 90, 5.0, 80, 95, false, 0, SwallowRule::StandstillJump},
        {"6 to 59 kt", 6, 90, 5.0, 59, 95, false, 0, kTaken},
        {"6 to 60 kt", 6, 90, 5.0, 60, 95, false, 0, SwallowRule::SpeedJumpUp},
        {"80 to 4 kt", 80, 90, 5.0, 4, 95, false, 0, SwallowRule::StandstillJump},
        {"60 to 6 kt", 60, 90, 5.0, 6, 95, false, 0, SwallowRule::SpeedJumpDown},
        {"59 to 6 kt", 59, 90, 5.0, 6, 95, false, 0, kTaken},
        {"5 to 79 kt", 5, 90, 5.0, 79, 95, false, 0, kTaken},
        {"air 450 m not flown", 200, 90, 4.3, 200, 90.5, true, 0, SwallowRule::SteadyInAir},
        {"air 450 m flown", 200, 90, 4.4, 200, 90.5, true, 0, kTaken},
        {"air track turned", 200, 90, 4.3, 200, 91.5, true, 0, kTaken},
        {"air track 1.0", 200, 90, 4.3, 200, 91.0, true, 0, SwallowRule::SteadyInAir},
        {"air at 120 kt", 120, 90, 4.3, 120, 90, true, 0, kTaken},
        {"air while holding", 200, 90, 4.3, 200, 90, true, 1, kTaken},
        {"air 359.5 vs 0.5 (through north)", 200, 359.5, 4.3, 200, 0.5, true, 0, SwallowRule::SteadyInAir},
        {"air 359.5 vs 1.0 (through north)", 200, 359.5, 4.3, 200, 1.0, true, 0, kTaken},
        {"ground 359 vs 1 (through north)", 10, 359, 3.8, 10, 1, false, 0, SwallowRule::SteadyOnGround},
        {"ground 20 m not rolled", 10, 90, 3.8, 10, 92, false, 0, SwallowRule::SteadyOnGround},
        {"ground 20 m rolled", 10, 90, 4.0, 10, 92, false, 0, kTaken},
        {"ground track turned", 10, 90, 3.8, 10, 92.5, false, 0, kTaken},
        {"ground at 31 kt", 31, 90, 1.2, 31, 90, false, 0, kTaken},
        {"ground at 30 kt", 30, 90, 1.2, 30, 90, false, 0, SwallowRule::SteadyOnGround},
        {"standing 15 s", 0, 90, 15.0, 0, 90, false, 0, SwallowRule::SteadyOnGround},
        {"standing 15.5 s", 0, 90, 15.5, 0, 90, false, 0, kTaken},
        {"1 kt capped at 15 s", 1, 90, 15.5, 1, 90, false, 0, kTaken},
        {"standing while holding", 0, 90, 5.0, 0, 90, false, 1, kTaken},
        {"holding counter -1", 0, 90, 5.0, 0, 90, false, -1, SwallowRule::SteadyOnGround},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_liveAc.clear();
        LiveAc& ac = addLiveAc(liveRecord(0x4b1908, "SWR40", "B738", 100.0, 5000.0, c.lastSpeed, c.lastTrack, c.airborne),
                               AcState::Placed);
        ac.holdCounter = c.holdCounter;
        TrafficRecord r = liveRecord(0x4b1908, "SWR40", "B738", 100.0 + c.dt, 5000.0, c.speed, c.track, c.airborne);
        if (c.airborne)
            r.pos.lat += 0.001;  // a fresh position (one repeated in the air is stale)
        std::uint64_t before[static_cast<std::size_t>(kTaken)];
        for (std::size_t i = 0; i < std::size(before); ++i)
            before[i] = gf_swallowedBy(static_cast<SwallowRule>(i));
        EXPECT_TRUE(liveac::acceptRecord(ac, r));
        EXPECT_EQ(ac.lastRecordTime, c.rule != kTaken ? 100.0 : 100.0 + c.dt);
        // Counted against its own rule only.
        for (std::size_t i = 0; i < std::size(before); ++i) {
            const auto rule = static_cast<SwallowRule>(i);
            EXPECT_EQ(gf_swallowedBy(rule) - before[i], rule == c.rule ? 1u : 0u) << gf_swallowRuleName(rule);
        }
    }
}

// Faults of real feeds: on-ground records without ground speed, broken altitudes, a flying
// aircraft's position repeated for minutes, a position far from the last one.
TEST_F(FeedHandover, GroundRecordsWithoutSpeedTakeTheSpeedOfTheirMoveAndStartTheTakeOff)
{
    // 0.001 degrees of latitude (111.1 m) every 5 s: 43 kt, without a speed in the feed.
    LiveAc& ac = addLiveAc(liveRecord(0x4b1909, "SWR41", "B738", 100.0, 0.0, 0.0, 0.0, false), AcState::Placed);
    ac.phase = AcPhase::Taxiing;
    ac.onGround = 1;
    ac.objectId = 1001;
    for (int k = 1; k <= 2; ++k) {
        TrafficRecord r = liveRecord(0x4b1909, "SWR41", "B738", 100.0 + 5.0 * k, 0.0, 0.0, 0.0, false);
        r.pos.lat += 0.001 * k;
        EXPECT_TRUE(liveac::acceptRecord(ac, r));
        ASSERT_EQ(ac.stream.size(), static_cast<std::size_t>(k + 1));
        EXPECT_DOUBLE_EQ(ac.stream.back().speed, 43.0);
    }
    EXPECT_EQ(ac.takeOff, 1);  // rolling at 43 kt and more

    // Standing: no move, no speed.
    TrafficRecord still = liveRecord(0x4b1909, "SWR41", "B738", 130.0, 0.0, 0.0, 0.0, false);
    still.pos.lat = ac.lastFeedLat;
    EXPECT_TRUE(liveac::acceptRecord(ac, still));
    EXPECT_DOUBLE_EQ(ac.stream.back().speed, 0.0);
}

// Fixes within the jitter distance of the last record: a creep at the feed's own 3 kt (3.1 m every
// 2 s) is followed fix by fix; a standing aircraft's jitter of 5 m in a feed without ground speed
// (its speed derived from the positions) stays a stop at the first position.
TEST_F(FeedHandover, GroundCreepAtTheFeedsSpeedIsFollowedAndJitterStaysAStop)
{
    constexpr double kMetreLat = 1.0 / 1852.0 / 60.0;
    auto ground = [this](std::uint32_t hex, const char* callsign, double speed) -> LiveAc& {
        LiveAc& ac = addLiveAc(liveRecord(hex, callsign, "B738", 100.0, 0.0, speed, 170.0, false), AcState::Placed);
        ac.phase = AcPhase::Taxiing;
        ac.onGround = 1;
        ac.objectId = 1001;
        return ac;
    };
    LiveAc& creeping = ground(0x4b1920, "SWR43", 3.0);
    for (int k = 1; k <= 4; ++k) {
        // The track turns 10 degrees a fix (a straight creep is thinned by the swallow rules).
        TrafficRecord r = liveRecord(0x4b1920, "SWR43", "B738", 100.0 + 2.0 * k, 0.0, 3.0, 170.0 + 10.0 * k, false);
        r.pos.lat -= 3.1 * k * kMetreLat;
        EXPECT_TRUE(liveac::acceptRecord(creeping, r));
        EXPECT_FALSE(creeping.stream.back().stop) << k;
        EXPECT_DOUBLE_EQ(creeping.stream.back().lat, r.pos.lat) << k;
    }

    LiveAc& standing = ground(0x4b1921, "SWR44", 0.0);
    const double offsets[][2] = {{5.0, 0.0}, {0.0, 5.0}, {-5.0, 0.0}, {0.0, -5.0}, {5.0, 5.0}};
    for (int k = 0; k < 5; ++k) {
        TrafficRecord r = liveRecord(0x4b1921, "SWR44", "B738", 105.0 + 5.0 * k, 0.0, 0.0, 10.0 * (k % 2), false);
        r.pos.lat += offsets[k][0] * kMetreLat;
        r.pos.lon += offsets[k][1] * kMetreLat / std::cos(47.0 * std::numbers::pi / 180.0);
        EXPECT_TRUE(liveac::acceptRecord(standing, r));
        EXPECT_EQ(standing.lastRecordTime, r.time) << k;  // taken, not swallowed
        EXPECT_TRUE(standing.stream.back().stop) << k;
        EXPECT_DOUBLE_EQ(standing.stream.back().lat, 47.0) << k;
        EXPECT_DOUBLE_EQ(standing.stream.back().lon, 8.0) << k;
    }
}

// A receiver's surface speeds that read 1.7 times low: fixes 12 s apart advance 90 m (14.6 kt)
// along the track while the speed field says 7.5 kt. The record takes the fixes' pace; taxiing at
// the speed field, the aircraft fell 70-90 m behind them. Fixes off the track, or a standing
// aircraft's fix thrown 35 m (far beyond twice its 0-1 kt), keep the feed's speed.
TEST_F(FeedHandover, TaxiRecordsTakeThePaceOfTheirFixesWhereTheSpeedFieldReadsLow)
{
    constexpr double kMetreLat = 1.0 / 1852.0 / 60.0;
    struct Case {
        const char* name;
        double speed, track, metres, seconds, want;
    };
    for (const Case c : {Case{"1.9 times low", 7.5, 180.0, 90.0, 12.0, 90.0 / 1852.0 / 12.0 * 3600.0},
                         Case{"off the track", 7.5, 90.0, 90.0, 12.0, 7.5},
                         Case{"jitter of a standing one", 0.5, 180.0, 35.0, 20.0, 0.5},
                         Case{"faster than twice", 7.5, 180.0, 120.0, 12.0, 7.5},
                         Case{"at its speed", 15.0, 180.0, 90.0, 12.0, 15.0}}) {
        SCOPED_TRACE(c.name);
        g_liveAc.clear();
        LiveAc& ac = addLiveAc(liveRecord(0x4b1930, "IBE04SD", "A320", 100.0, 0.0, c.speed, c.track, false), AcState::Placed);
        ac.phase = AcPhase::Taxiing;
        ac.onGround = 1;
        ac.objectId = 1001;
        TrafficRecord r = liveRecord(0x4b1930, "IBE04SD", "A320", 100.0 + c.seconds, 0.0, c.speed, c.track, false);
        r.pos.lat -= c.metres * kMetreLat;
        EXPECT_TRUE(liveac::acceptRecord(ac, r));
        EXPECT_EQ(ac.lastRecordTime, r.time);
        EXPECT_NEAR(ac.stream.back().speed, c.want, 1e-9);
    }
}

// A departure whose last ground fix (46 kt on the runway) came after a long gap: the aircraft
// rolled to it and waits there on a stop record of speed 0. Its next record, 66 s later, is in
// the climb 4.8 km on at 157 kt: swallowed as a jump from a standstill (judged against the stop
// record, not the feed's speed and time), and every later one with it, the aircraft stood on the
// runway while its feed flew on. Now it is removed with a log line and comes back where its data is.
TEST_F(FeedHandover, AircraftWaitingAtItsLastFixIsRemovedWhenItsFeedFliesOn)
{
    LiveAc& ac = addLiveAc(liveRecord(0x4baac6, "THY9BP", "B738", 100.0, 0.0, 46.0, 2.0, false), AcState::Placed);
    ac.phase = AcPhase::Taxiing;
    ac.onGround = 1;
    ac.objectId = 1001;
    ac.stream.front().speed = 0.0;
    ac.stream.front().stop = 1;
    ac.waiting = 1;
    ac.holdCounter = 1;
    TrafficRecord climb = liveRecord(0x4baac6, "THY9BP", "B738", 166.0, 1025.0, 157.0, 2.0, true);
    climb.pos.lat += 4800.0 / 1852.0 / 60.0;
    climb.pos.vertRate = 2000.0;
    EXPECT_TRUE(liveac::acceptRecord(ac, climb));
    EXPECT_EQ(ac.lastRecordTime, 166.0);
    EXPECT_EQ(ac.state, AcState::BeingRemoved);
    EXPECT_NE(logText().find("THY9BP"), std::string::npos) << logText();
    EXPECT_NE(logText().find("waited at its last fix; its next lies 4800 m on in the air: removed, it comes back there"),
              std::string::npos)
        << logText();

    // The same record a second after a fix at 4 kt is a broken speed, swallowed as before.
    g_liveAc.clear();
    LiveAc& rolling = addLiveAc(liveRecord(0x4baac7, "THY9BQ", "B738", 100.0, 0.0, 4.0, 2.0, false), AcState::Placed);
    rolling.phase = AcPhase::Taxiing;
    rolling.onGround = 1;
    rolling.objectId = 1002;
    TrafficRecord broken = liveRecord(0x4baac7, "THY9BQ", "B738", 102.0, 0.0, 157.0, 2.0, false);
    broken.pos.lat += 0.0001;
    EXPECT_TRUE(liveac::acceptRecord(rolling, broken));
    EXPECT_EQ(rolling.lastRecordTime, 100.0);
}

TEST_F(FeedHandover, BrokenAltitudesAreSwallowedForAMinuteAtMost)
{
    LiveAc& ac = addLiveAc(liveRecord(0x4b1910, "SWR42", "B738", 100.0, 5000.0), AcState::Placed);
    auto next = [](double time, double alt, double dLat) {
        TrafficRecord r = liveRecord(0x4b1910, "SWR42", "B738", time, alt);
        r.pos.lat += dLat;
        return r;
    };
    TrafficRecord spike = next(105.0, 36000.0, 0.01);  // 31000 ft in 5 s
    EXPECT_TRUE(liveac::acceptRecord(ac, spike));
    EXPECT_EQ(ac.lastRecordTime, 100.0);
    // A record 1175 ft low after 4 s (as a real climb's at 13200 ft): more than 8000 ft/min and 300 ft
    // more; it drew the aircraft down 1000 ft for 10 s while 1000 ft more were allowed.
    TrafficRecord low = next(104.0, 3825.0, 0.005);
    EXPECT_TRUE(liveac::acceptRecord(ac, low));
    EXPECT_EQ(ac.lastRecordTime, 100.0);
    TrafficRecord climb = next(110.0, 6600.0, 0.012);  // within 8000 ft/min for 10 s and 300 ft more
    EXPECT_TRUE(liveac::acceptRecord(ac, climb));
    EXPECT_EQ(ac.lastRecordTime, 110.0);
    // Climbing at 2000 ft/min by the feed's rate: a record 4 s on 550 ft below the climb's altitude
    // (noisy_takeoff at 19100 ft) is swallowed, one on the climb is taken.
    TrafficRecord rated = next(120.0, 6800.0, 0.03);
    rated.pos.vertRate = 2000.0;
    EXPECT_TRUE(liveac::acceptRecord(ac, rated));
    EXPECT_EQ(ac.lastRecordTime, 120.0);
    TrafficRecord dip = next(124.0, 6250.0, 0.035);
    dip.pos.vertRate = 2000.0;
    EXPECT_TRUE(liveac::acceptRecord(ac, dip));
    EXPECT_EQ(ac.lastRecordTime, 120.0);
    TrafficRecord onClimb = next(128.0, 6930.0, 0.04);
    onClimb.pos.vertRate = 1900.0;
    EXPECT_TRUE(liveac::acceptRecord(ac, onClimb));
    EXPECT_EQ(ac.lastRecordTime, 128.0);
    TrafficRecord late = next(189.0, 36000.0, 0.2);  // a minute on: taken, whatever it says
    EXPECT_TRUE(liveac::acceptRecord(ac, late));
    EXPECT_EQ(ac.lastRecordTime, 189.0);

    // From the ground: against the elevation of the airport under the last record.
    const auto airports = g_airports;
    g_airports = {{"LSZH", "ZRH", 47.0, 8.0, 1416.0}};
    g_liveAc.clear();
    LiveAc& taxiing = addLiveAc(liveRecord(0x4b1911, "SWR43", "B738", 100.0, 0.0, 20.0, 90.0, false), AcState::Placed);
    TrafficRecord high = liveRecord(0x4b1911, "SWR43", "B738", 110.0, 35950.0, 150.0, 90.0, true);
    high.pos.lat += 0.005;
    EXPECT_TRUE(liveac::acceptRecord(taxiing, high));
    EXPECT_EQ(taxiing.lastRecordTime, 100.0);
    TrafficRecord liftOff = liveRecord(0x4b1911, "SWR43", "B738", 110.0, 1800.0, 150.0, 90.0, true);
    liftOff.pos.lat += 0.005;
    EXPECT_TRUE(liveac::acceptRecord(taxiing, liftOff));
    EXPECT_EQ(taxiing.lastRecordTime, 110.0);
    g_airports = airports;
    EXPECT_EQ(gf_swallowedBy(SwallowRule::AltitudeOutOfReach), 4u);  // spike, low, dip, high
}

// Rows of a real climb at 3000 ft/min (noisy_takeoff at 8300-8900 ft, as the program heard them, 2 s
// apart) where three of six lie 150-400 ft under the climb: a kept record flies at the median of the
// rows of the last 8 s carried along their rates, not at its own low row, and the good row after it
// is judged from that line, not swallowed as out of reach of the low row.
TEST_F(FeedHandover, FlyingRecordsTakeTheAltitudeOfTheRowsHeardBeforeThem)
{
    struct Row {
        double time, alt, vertRate;
    };
    const Row rows[] = {{100.0, 8336.0, 3008.0}, {102.0, 8311.0, 2816.0}, {103.6, 8536.0, 3008.0},
                        {105.5, 8336.0, 3008.0}, {107.6, 8261.0, 2944.0}, {109.7, 8836.0, 3072.0}};
    constexpr double kDegPerSecond = 252.0 / 3600.0 / 60.0;  // 252 kt due north
    auto record = [&](const Row& row) {
        TrafficRecord r = liveRecord(0x3946e4, "AFR181L", "A320", row.time, row.alt, 252.0, 0.0);
        r.pos.lat += (row.time - rows[0].time) * kDegPerSecond;
        r.pos.vertRate = row.vertRate;
        return r;
    };
    LiveAc& ac = addLiveAc(record(rows[0]), AcState::Placed);
    for (std::size_t i = 1; i < std::size(rows); ++i) {
        TrafficRecord r = record(rows[i]);
        EXPECT_TRUE(liveac::acceptRecord(ac, r));
        // Two rows outvote nothing: the row at 102 s is judged from as the feed gives it.
        if (rows[i].time == 102.0) {
            EXPECT_EQ(ac.heard.alt, 8311.0);
        }
        if (rows[i].time == 107.6) {
            // Kept (4 s after the last record): 8261 ft raw; the rows carried to 107.6 s give
            // 8713.0, 8579.8, 8734.4, 8440.2 and 8261 ft.
            EXPECT_EQ(ac.lastRecordTime, 107.6);
            EXPECT_NEAR(ac.stream.back().alt, 8579.8, 0.01);
        }
    }
    // The last row heard, swallowed only as adding nothing 2.1 s after the last record.
    EXPECT_EQ(gf_swallowedBy(SwallowRule::AltitudeOutOfReach), 0u);
    EXPECT_EQ(ac.heardTime, 109.7);
    EXPECT_EQ(ac.stream.size(), 3u);  // 100, 103.6 and 107.6 s
    // 103.6 s: 19.5 ft above its rows' line (8516.5 ft), within the altitude coding's rounding: as
    // the feed gives it.
    EXPECT_EQ(ac.stream[1].alt, 8536.0);

    // Over the runway (london_heathrow's touch-and-go below its 83 ft field): rates of 1130-2112
    // ft/min while the altitudes rise 25 ft in 8 s. Carried along the rates the rows gave 186 ft;
    // each record keeps its own altitude.
    const auto airports = g_airports;
    g_airports = {{"EGLL", "LHR", 47.0, 8.0, 83.0}};
    const Row runway[] = {{200.0, 50.0, 1130.0}, {202.0, 56.0, 1376.0}, {204.0, 62.0, 1621.0},
                          {206.0, 68.0, 1866.0}, {208.0, 75.0, 2112.0}};
    auto slow = [&](const Row& row) {
        TrafficRecord r = liveRecord(0x3946e5, "AFR182L", "A320", row.time, row.alt, 115.0, 0.0);
        r.pos.lat += (row.time - runway[0].time) * 115.0 / 3600.0 / 60.0;
        r.pos.vertRate = row.vertRate;
        return r;
    };
    LiveAc& touchAndGo = addLiveAc(slow(runway[0]), AcState::Placed);
    for (std::size_t i = 1; i < std::size(runway); ++i) {
        TrafficRecord r = slow(runway[i]);
        EXPECT_TRUE(liveac::acceptRecord(touchAndGo, r));
    }
    g_airports = airports;
    EXPECT_EQ(touchAndGo.lastRecordTime, 208.0);
    EXPECT_EQ(touchAndGo.stream.back().alt, 75.0);
}

TEST_F(FeedHandover, StalePositionsInTheAirAreSwallowed)
{
    LiveAc& ac = addLiveAc(liveRecord(0x4b1912, "SWR44", "B738", 100.0, 36000.0, 450.0), AcState::Placed);
    TrafficRecord stale = liveRecord(0x4b1912, "SWR44", "B738", 130.0, 36000.0, 450.0);
    EXPECT_TRUE(liveac::acceptRecord(ac, stale));
    EXPECT_EQ(ac.lastRecordTime, 100.0);
    EXPECT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(gf_swallowedBy(SwallowRule::StaleAirPosition), 1u);
    TrafficRecord fresh = liveRecord(0x4b1912, "SWR44", "B738", 140.0, 36000.0, 450.0);
    fresh.pos.lat += 0.083;  // 5 nm in 40 s at 450 kt
    EXPECT_TRUE(liveac::acceptRecord(ac, fresh));
    EXPECT_EQ(ac.lastRecordTime, 140.0);
    EXPECT_EQ(ac.stream.size(), 2u);

    // A hovering helicopter at its position is no stale position.
    g_liveAc.clear();
    LiveAc& hover = addLiveAc(liveRecord(0x4b1913, "REGA1", "EC35", 100.0, 2000.0, 0.0), AcState::Placed);
    TrafficRecord still = liveRecord(0x4b1913, "REGA1", "EC35", 120.0, 2000.0, 0.0);
    EXPECT_TRUE(liveac::acceptRecord(hover, still));
    EXPECT_EQ(hover.lastRecordTime, 120.0);
}

TEST_F(FeedHandover, BufferingAircraftStartsAgainWhereItsPositionJumped)
{
    LiveAc& ac = addLiveAc(liveRecord(0x4b1914, "SWR45", "B738", 100.0, 36000.0, 450.0), AcState::Buffering);
    TrafficRecord far = liveRecord(0x4b1914, "SWR45", "B738", 110.0, 36000.0, 450.0);
    far.pos.lat += 0.5;  // 30 nm in 10 s
    EXPECT_TRUE(liveac::acceptRecord(ac, far));
    ASSERT_EQ(ac.stream.size(), 1u);
    EXPECT_DOUBLE_EQ(ac.stream[0].lat, far.pos.lat);

    TrafficRecord near = liveRecord(0x4b1914, "SWR45", "B738", 120.0, 36000.0, 450.0);
    near.pos.lat = far.pos.lat + 0.02;  // 1.2 nm in 10 s: 432 kt
    EXPECT_TRUE(liveac::acceptRecord(ac, near));
    EXPECT_EQ(ac.stream.size(), 2u);
}

TEST_F(FeedHandover, AcceptanceByHexidAndState)
{
    LiveAc& ac = addLiveAc(liveRecord(0x100001, "A1", "B738", 100.0), AcState::Placed);
    TrafficRecord other = liveRecord(0x100002, "A1", "B738", 200.0);
    EXPECT_FALSE(liveac::acceptRecord(ac, other));

    for (AcState state : {AcState::Respawning, AcState::BeingRemoved}) {
        ac.state = state;
        TrafficRecord r = liveRecord(0x100001, "A1", "B738", 200.0);
        EXPECT_TRUE(liveac::acceptRecord(ac, r));
        EXPECT_EQ(ac.lastRecordTime, 100.0);
        EXPECT_EQ(ac.stream.size(), 1u);
    }

    // An empty stream skips the time and speed tests.
    ac.state = AcState::Placed;
    ac.stream.clear();
    TrafficRecord same = liveRecord(0x100001, "A1", "B738", 100.0);
    EXPECT_TRUE(liveac::acceptRecord(ac, same));
    EXPECT_EQ(ac.stream.size(), 1u);

    // The respawn decision can swallow the record: here a ghost of a live aircraft's callsign.
    addLiveAc(liveRecord(0x100009, "B1", "B738", 100.0), AcState::Placed);
    TrafficRecord later = liveRecord(0x100001, "B1_", "B738", 300.0);
    later.pos.lat += 0.01;
    EXPECT_TRUE(liveac::acceptRecord(g_liveAc[0], later));
    EXPECT_EQ(g_liveAc[0].callsign, "B1_");
    EXPECT_EQ(g_liveAc[0].stream.size(), 1u);
    EXPECT_EQ(g_liveAc[0].lastRecordTime, 100.0);

    // Each swallowed record counted against its rule, in the line the exit logs.
    EXPECT_EQ(gf_swallowCountsText(),
              "Records swallowed by rule: respawning or removed 2, same record 0, speed jump up 0, speed jump down 0, "
              "standstill jump 0, altitude out of reach 0, stale position 0, thrown fix 0, steady in the air 0, "
              "steady on the ground 0, parked traffic 0, respawn refused 1");
}

TEST_F(FeedHandover, ParkElevationBand)
{
    g_parkAirport = AirportEntry{"EGTK", "OXF", 51.83, -1.32, 0.0};
    struct Case {
        double alt;
        bool notAtPark;
    };
    for (const Case c : {Case{30.0, false}, Case{120.0, false}, Case{0.0, true}, Case{-5.0, true}, Case{130.0, true},
                         Case{120.5, true}, Case{10000.0, true}, Case{9999.0, true}}) {
        SCOPED_TRACE(c.alt);
        EXPECT_EQ(lf_notAtParkElevation(liveRecord(1, "X", "B738", 0.0, c.alt)), c.notAtPark);
    }
    g_parkAirport.alt = 9950.0;
    EXPECT_TRUE(lf_notAtParkElevation(liveRecord(1, "X", "B738", 0.0, 10000.0)));
    EXPECT_FALSE(lf_notAtParkElevation(liveRecord(1, "X", "B738", 0.0, 9900.0)));
    // No park airport: measured against -1000 ft, so every positive altitude is outside the band.
    g_parkAirport = {};
    EXPECT_TRUE(lf_notAtParkElevation(liveRecord(1, "X", "B738", 0.0, 30.0)));
}

TEST_F(FeedHandover, AtTheParkAirportRecordsAreLeftToTheParkedTraffic)
{
    g_parkAirport = AirportEntry{"EGTK", "OXF", 51.83, -1.32, 0.0};
    TrafficRecord at30 = liveRecord(0x100001, "A1", "B738", 100.0, 30.0, 0.0, 0.0, false);
    lf_applyRecord(at30);
    EXPECT_TRUE(g_liveAc.empty());  // no aircraft created

    TrafficRecord at130 = liveRecord(0x100001, "A1", "B738", 100.0, 130.0, 0.0, 0.0, false);
    lf_applyRecord(at130);
    ASSERT_EQ(g_liveAc.size(), 1u);

    // The buffering aircraft swallows a record inside the band and takes one outside it.
    TrafficRecord again30 = liveRecord(0x100001, "A1", "B738", 120.0, 30.0, 0.0, 0.0, false);
    lf_applyRecord(again30);
    EXPECT_EQ(g_liveAc[0].lastRecordTime, 100.0);
    TrafficRecord at0 = liveRecord(0x100001, "A1", "B738", 140.0, 0.0, 0.0, 0.0, false);
    lf_applyRecord(at0);
    EXPECT_EQ(g_liveAc[0].lastRecordTime, 140.0);
    EXPECT_EQ(g_liveAc.size(), 1u);

    // One buffered on the move (its landing roll's first fixes came before the park airport's
    // elevation was known) keeps its fixes inside the band: a gap there was flown at one mean speed.
    TrafficRecord rolling = liveRecord(0x100002, "B2", "B738", 100.0, -108.0, 135.0, 194.0, false);
    lf_applyRecord(rolling);
    ASSERT_EQ(g_liveAc.size(), 2u);
    TrafficRecord slower = liveRecord(0x100002, "B2", "B738", 103.0, 30.0, 126.0, 194.0, false);
    slower.pos.lat += 0.0017;
    lf_applyRecord(slower);
    EXPECT_EQ(g_liveAc[1].lastRecordTime, 103.0);
    EXPECT_EQ(g_liveAc[1].stream.size(), 2u);
}

TEST_F(FeedHandover, ApplyMatchesHexidThenCallsignAndType)
{
    TrafficRecord first = liveRecord(0x100001, "KLM1", "B738", 100.0);
    lf_applyRecord(first);
    ASSERT_EQ(g_liveAc.size(), 1u);

    // The same flight under another address is ignored.
    TrafficRecord twin = liveRecord(0x100002, "KLM1", "B738", 100.0);
    lf_applyRecord(twin);
    EXPECT_EQ(g_liveAc.size(), 1u);

    // Same callsign, other type: a new aircraft.
    TrafficRecord otherType = liveRecord(0x100003, "KLM1", "A388", 100.0);
    lf_applyRecord(otherType);
    EXPECT_EQ(g_liveAc.size(), 2u);

    // No callsign never matches by callsign.
    TrafficRecord noCallsign = liveRecord(0x100004, "", "B738", 100.0);
    lf_applyRecord(noCallsign);
    EXPECT_EQ(g_liveAc.size(), 3u);
    TrafficRecord noCallsign2 = liveRecord(0x100005, "", "B738", 100.0);
    lf_applyRecord(noCallsign2);
    EXPECT_EQ(g_liveAc.size(), 4u);
}

TEST_F(FeedHandover, UnknownTypesAreLookedUpByRegistration)
{
    TrafficRecord noType = liveRecord(0x100001, "KLM1", "", 100.0);
    noType.registration = "PH-BXA";
    lf_applyRecord(noType);
    ASSERT_EQ(g_liveAc.size(), 1u);
    EXPECT_EQ(g_liveAc[0].acType, "B738");

    TrafficRecord unknownType = liveRecord(0x100002, "SHT1", "ZZZZ", 100.0);
    unknownType.registration = "G-EUPA";
    lf_applyRecord(unknownType);
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[1].acType, "B738");

    TrafficRecord unknownBoth = liveRecord(0x100003, "XXX1", "ZZZZ", 100.0);
    unknownBoth.registration = "N-NONE";
    lf_applyRecord(unknownBoth);
    TrafficRecord noTypeNoReg = liveRecord(0x100004, "XXX2", "", 100.0);
    lf_applyRecord(noTypeNoReg);
    EXPECT_EQ(g_liveAc.size(), 2u);
}

// A track whose type the database does not know (a helicopter given a non-ICAO designator), or
// whose class is switched off, creates nothing: the log says why, once per type.
TEST_F(FeedHandover, AircraftNotCreatedAreLoggedOncePerType)
{
    for (std::uint32_t k = 0; k < 3; ++k) {
        TrafficRecord r = liveRecord(0x100010 + k, "HELI" + std::to_string(k), "H135X", 100.0);
        lf_applyRecord(r);
    }
    g_optHelicopters.set(false);
    for (std::uint32_t k = 0; k < 2; ++k) {
        TrafficRecord r = liveRecord(0x100020 + k, "ROTOR" + std::to_string(k), "EC35", 100.0);
        lf_applyRecord(r);
    }
    EXPECT_TRUE(g_liveAc.empty());
    const std::string log = logText();
    const std::string unknown = "HELI0: type \"H135X\" not in the aircraft database; aircraft of this type are not created";
    EXPECT_NE(log.find(unknown), std::string::npos) << log;
    EXPECT_EQ(log.find("H135X", log.find(unknown) + unknown.size()), std::string::npos) << log;
    const std::string off = "ROTOR0: type \"EC35\" not shown: HELICOPTERS is off; aircraft of this type are not created";
    EXPECT_NE(log.find(off), std::string::npos) << log;
    EXPECT_EQ(log.find("ROTOR1"), std::string::npos) << log;
}

TEST_F(FeedHandover, ClassesNeedTheirOptions)
{
    struct Case {
        const char* type;
        CheckBoxParameter* option;
    };
    for (const Case c : {Case{"C172", &g_optLightAircraft}, Case{"F16", &g_optHighPerfAircraft},
                         Case{"EC35", &g_optHelicopters}}) {
        SCOPED_TRACE(c.type);
        g_liveAc.clear();
        c.option->set(false);
        TrafficRecord r = liveRecord(0x100001, "X1", c.type, 100.0);
        lf_applyRecord(r);
        EXPECT_TRUE(g_liveAc.empty());
        c.option->set(true);
        lf_applyRecord(r);
        EXPECT_EQ(g_liveAc.size(), 1u);
    }
    // Business jets, large and heavy aircraft need no option.
    g_liveAc.clear();
    g_optLightAircraft.set(false);
    g_optHighPerfAircraft.set(false);
    g_optHelicopters.set(false);
    for (const char* type : {"C25A", "B738", "A388"}) {
        TrafficRecord r = liveRecord(0x200000 + static_cast<std::uint32_t>(g_liveAc.size()), type, type, 100.0);
        lf_applyRecord(r);
    }
    EXPECT_EQ(g_liveAc.size(), 3u);
}

TEST_F(FeedHandover, NewAircraftTakesTheClassValues)
{
    TrafficRecord r = liveRecord(0x4b1908, "SWR40", "A388", 1573494951.0);
    r.coupledCallsign1 = "OLD";
    r.coupledCallsign2 = "OLD2";
    r.value64 = 77;
    lf_applyRecord(r);
    ASSERT_EQ(g_liveAc.size(), 1u);
    const LiveAc& ac = g_liveAc[0];
    EXPECT_EQ(ac.hexid, 0x4b1908u);
    EXPECT_EQ(ac.coupledCallsign1, "SWR40");
    EXPECT_EQ(ac.coupledCallsign2, "");
    EXPECT_EQ(ac.value64, 0u);
    EXPECT_EQ(ac.sizeClass, SizeClass::Heavy);
    EXPECT_DOUBLE_EQ(ac.baseTurnRate, 0.05 * std::numbers::pi / 180.0);
    EXPECT_DOUBLE_EQ(ac.turnRate, ac.baseTurnRate);
    EXPECT_DOUBLE_EQ(ac.vertRateCap, 0.5);
    EXPECT_DOUBLE_EQ(ac.slowGroundSpeed, 3.0);
    EXPECT_EQ(ac.state, AcState::Buffering);
    EXPECT_EQ(ac.phase, AcPhase::New);
    EXPECT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(ac.lastRecordTime, 1573494951.0);
    EXPECT_TRUE(ac.title.empty());
}

TEST_F(FeedHandover, CreationTables)
{
    const double turn[] = {0.15, 0.10, 0.07, 0.05, 0.10, 0.20};
    const double cap[] = {0.5, 0.75, 0.6, 0.5, 1.0, 0.75};
    const double slow[] = {5.0, 4.5, 4.0, 3.0, 4.5, 5.0};
    for (std::uint32_t c = 0; c < 6; ++c) {
        EXPECT_EQ(gf_creationTurnRateDeg(c), turn[c]);
        EXPECT_EQ(gf_creationVertRateCap(c), cap[c]);
        EXPECT_EQ(gf_creationSlowGroundSpeed(c), slow[c]);
    }
    try {
        gf_creationTurnRateDeg(6);
        FAIL() << "class 6 has no entry";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
}

}  // namespace
