// The main loop's schedules driven by a stepped clock: each lf_workTavix call with a raised tick
// flag is one second; the recording subsystems note which work ran on which second.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/exit.h"
#include "app/main_loop.h"
#include "app/window_commands.h"
#include "foundation/format.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/refused.h"
#include "simulator/ai_tick.h"
#include "simulator/refused_liveries.h"
#include "simulator/sim_events.h"
#include "support/app_sandbox.h"

namespace {

using tvxtest::AppSandbox;
using tvxtest::CallRecorder;
using tvxtest::RecordingSubsystems;

// Runs seconds 1..last with a flight running and returns, for each call name, the seconds it ran.
class ScheduleClock {
public:
    explicit ScheduleClock(RecordingSubsystems& subsystems)
    {
        subsystems.answers[Question::FlightRunning] = [this] { return m_flight; };
        subsystems.answers[Question::TakeTick] = [this] { return std::exchange(m_tick, false); };
        subsystems.onCall = [this](const std::string& name) {
            if (name == "flightWake")
                ++m_wakes;
            else
                m_seconds[name].push_back(gf_secondCounter());
        };
    }

    void runSeconds(std::int64_t last)
    {
        while (gf_secondCounter() < last) {
            m_tick = true;
            lf_workTavix();
        }
    }
    // One wake without a tick.
    void wake() { lf_workTavix(); }

    const std::vector<std::int64_t>& seconds(const std::string& name) { return m_seconds[name]; }
    bool m_flight = true;
    int m_wakes = 0;

private:
    bool m_tick = false;
    std::map<std::string, std::vector<std::int64_t>> m_seconds;
};

std::vector<std::int64_t> multiplesOf(std::int64_t n, std::int64_t last, std::int64_t exceptMultipleOf = 0)
{
    std::vector<std::int64_t> out;
    for (std::int64_t s = n; s <= last; s += n) {
        if (exceptMultipleOf == 0 || s % exceptMultipleOf != 0)
            out.push_back(s);
    }
    return out;
}

TEST(MainLoopSchedule, ParkAirportUpdatesEvery16SecondsButNotOn15s)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    clock.runSeconds(480);
    // 240 and 480 are multiples of both 15 and 16: skipped.
    EXPECT_EQ(clock.seconds("parkUpdates(false)"), multiplesOf(16, 480, 15));
    EXPECT_EQ(clock.seconds("parkUpdates(true)"), std::vector<std::int64_t>{});
    EXPECT_EQ(clock.m_wakes, 480);
    EXPECT_EQ(clock.seconds("everySecond").size(), 480u);
}

TEST(MainLoopSchedule, ParkAirportUpdatesWaitWhileAPlanRebuildIsPending)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    box.subsystems().answers[Question::ParkAdjustmentsEnabled] = [] { return true; };
    box.subsystems().answers[Question::ParkAirportHasStands] = [] { return true; };
    clock.runSeconds(120);
    // The first turn runs at 15, 45, 75, 105 and leaves a rebuild pending until the second turn at
    // 30, 60, 90, 120: 16, 48, 80 and 112 fall inside a pending rebuild and are skipped.
    std::vector<std::int64_t> expected;
    for (std::int64_t s = 16; s <= 120; s += 16) {
        const bool pending = (s / 15) % 2 == 1;  // after an odd number of 15 s turns
        if (s % 15 != 0 && !pending)
            expected.push_back(s);
    }
    EXPECT_EQ(clock.seconds("parkUpdates(false)"), expected);
    EXPECT_EQ(clock.seconds("startParkAdjustment"), (std::vector<std::int64_t>{15, 45, 75, 105}));
    EXPECT_EQ(clock.seconds("apply"), (std::vector<std::int64_t>{30, 60, 90, 120}));
}

TEST(MainLoopSchedule, StaticTwinsEvery61SecondsOnlyWithStaticAircraft)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    bool staticAc = false;
    box.subsystems().answers[Question::StaticAcExist] = [&] { return staticAc; };
    clock.runSeconds(122);
    EXPECT_TRUE(clock.seconds("removeStaticTwins").empty());
    staticAc = true;
    clock.runSeconds(244);
    EXPECT_EQ(clock.seconds("removeStaticTwins"), (std::vector<std::int64_t>{183, 244}));
}

TEST(MainLoopSchedule, Callsign2ObjectIdEvery62SecondsOnlyWithBothSettings)
{
    struct Case {
        bool callsignObjectIds;
        bool msfs2020;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {
        {true, true, {62, 124, 186}},
        {true, false, {}},
        {false, true, {}},
        {false, false, {}},
    };
    for (const Case& c : cases) {
        AppSandbox box;
        g_optCallsignObjectids.set(c.callsignObjectIds);
        g_optMsfs2020.set(c.msfs2020);
        ScheduleClock clock(box.subsystems());
        clock.runSeconds(200);
        EXPECT_EQ(clock.seconds("callsign2ObjectId"), c.expected)
            << "CALLSIGN_OBJECTIDS " << c.callsignObjectIds << " MSFS_2020 " << c.msfs2020;
    }
}

TEST(MainLoopSchedule, ReservedStandClearedEveryFiveSeconds)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    bool reserved = true;
    box.subsystems().answers[Question::ReservedStand] = [&] { return reserved; };
    clock.runSeconds(20);
    EXPECT_EQ(clock.seconds("clearReservedStand"), (std::vector<std::int64_t>{5, 10, 15, 20}));
    reserved = false;
    clock.runSeconds(40);
    EXPECT_EQ(clock.seconds("clearReservedStand").size(), 4u);
}

TEST(MainLoopSchedule, RenewalEvery1200SecondsGoesThroughBothTurns)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    box.subsystems().answers[Question::ParkAdjustmentsEnabled] = [] { return true; };
    box.subsystems().answers[Question::ParkAirportHasStands] = [] { return true; };
    clock.runSeconds(1199);
    EXPECT_TRUE(clock.seconds("apply(renew)").empty());
    EXPECT_TRUE(clock.seconds("logNoMatchList").empty());
    clock.runSeconds(1200);
    EXPECT_TRUE(gf_renewPending());
    EXPECT_EQ(clock.seconds("logNoMatchList"), std::vector<std::int64_t>{1200});
    EXPECT_EQ(clock.seconds("startParkAdjustment").back(), 1200);
    clock.runSeconds(1215);
    EXPECT_EQ(clock.seconds("apply(renew)"), std::vector<std::int64_t>{1215});
    EXPECT_FALSE(gf_renewPending());
    clock.runSeconds(1245);
    EXPECT_EQ(clock.seconds("apply").back(), 1245);  // later turns no longer renew
    EXPECT_EQ(clock.seconds("apply(renew)").size(), 1u);
}

TEST(MainLoopSchedule, RenewalWaitsForAParkAirportWithStands)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    bool stands = false;
    box.subsystems().answers[Question::ParkAdjustmentsEnabled] = [] { return true; };
    box.subsystems().answers[Question::ParkAirportHasStands] = [&] { return stands; };
    clock.runSeconds(1215);
    EXPECT_TRUE(clock.seconds("apply(renew)").empty());
    EXPECT_TRUE(gf_renewPending());
    stands = true;
    clock.runSeconds(1245);
    EXPECT_EQ(clock.seconds("apply(renew)"), std::vector<std::int64_t>{1245});
}

TEST(MainLoopSchedule, DailyResetEmptiesTheNoMatchSetOnce)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    clock.runSeconds(86399);
    EXPECT_TRUE(clock.seconds("dailyReset").empty());
    clock.runSeconds(86400 + 60);
    EXPECT_EQ(clock.seconds("dailyReset"), std::vector<std::int64_t>{86400});
    EXPECT_FALSE(gf_dailyResetPending());
    EXPECT_EQ(clock.seconds("logNoMatchList").size(), 72u);  // every 1200 s up to 86400
}

TEST(MainLoopSchedule, EveryWakeKeepsTheScheduleClockOnTheWallClockOrTheTrafficDataTime)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    g_nowDaySlot.store(0);
    // Monday 2026-12-07 23:59:59 UTC: day 1, slot 47.
    const std::int64_t monday = 1796687999;
    gf_setFixedClock(monday);
    clock.wake();
    EXPECT_EQ(g_nowDaySlot.load(), gf_makeDaySlot(1, 47));
    // Stored once per second: a value set within the same second stays.
    g_nowDaySlot.store(gf_makeDaySlot(5, 5));
    clock.wake();
    EXPECT_EQ(g_nowDaySlot.load(), gf_makeDaySlot(5, 5));
    // One second later it is Tuesday 00:00, also while no flight runs.
    gf_setFixedClock(monday + 1);
    clock.m_flight = false;
    clock.wake();
    EXPECT_EQ(g_nowDaySlot.load(), gf_makeDaySlot(2, 0));
    // In time-shift mode the traffic data time counts: Sunday 2026-12-06 10:30 UTC.
    gf_setTrafficDataTime(1796553000.0);
    gf_setTimeShiftMode(true);
    gf_setFixedClock(monday + 2);
    clock.wake();
    EXPECT_EQ(g_nowDaySlot.load(), gf_makeDaySlot(7, 21));
    gf_setTimeShiftMode(false);
    gf_setTrafficDataTime(0.0);
    gf_releaseClock();

    // The main loop stores it before its first wake, for the park-airport check that runs first.
    DaySlot seenByParkCheck = 0;
    g_nowDaySlot.store(0);
    gf_resetMainLoopState();
    box.subsystems().onCall = [&](const std::string& name) {
        if (name != "parkUpdates(true)")
            return;
        seenByParkCheck = g_nowDaySlot.load();
        g_exitRequested.store(true);
    };
    gf_markMainLoopStarted();
    mainLoop();
    gf_markMainLoopEnded();
    EXPECT_NE(gf_weekdayOf(seenByParkCheck), 0u);
}

TEST(MainLoopSchedule, NoFlightRunsTheIdleWorkAndResumes)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    CallRecorder& calls = box.subsystems().calls;
    clock.runSeconds(3);
    clock.m_flight = false;
    for (int i = 0; i < 5; ++i)
        clock.wake();
    EXPECT_EQ(calls.count("idleWake") + calls.count("idleWake(first)"), 5);
    EXPECT_EQ(calls.count("accept(false)"), 5);
    EXPECT_EQ(calls.count("idleWake(first)"), 1);  // the position updates are emptied on the first idle wake only
    EXPECT_EQ(gf_secondCounter(), 3);                // no ticks without a flight
    EXPECT_EQ(clock.m_wakes, 3);

    clock.m_flight = true;
    calls.clear();
    clock.runSeconds(5);
    EXPECT_EQ(calls.count("accept(true)"), 1);  // once, on the first tick after the pause
    EXPECT_NE(box.logText().find("Flight resumed"), std::string::npos);

    clock.m_flight = false;
    clock.wake();
    EXPECT_EQ(calls.count("idleWake(first)"), 1);  // a new pause empties the updates again
}

TEST(MainLoopSchedule, FlushStaticRequestRemovesStaticAircraftOnceAndSetsInitialLoadOnly)
{
    AppSandbox box;
    ScheduleClock clock(box.subsystems());
    CallRecorder& calls = box.subsystems().calls;
    ASSERT_FALSE(g_optInitialLoadOnly.value());
    gf_requestFlushStatic();
    clock.runSeconds(3);
    EXPECT_EQ(calls.count("removeAllStaticAc"), 1);
    EXPECT_TRUE(g_optInitialLoadOnly.value());
}

TEST(MainLoopSchedule, CollisionRulesFollowTheirSettingsAndTheUserState)
{
    struct Case {
        bool onGround;
        bool gnd, air, liveParked;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {true, true, true, false, {"userGround"}},
        {false, true, true, false, {"userAir"}},
        {true, false, true, true, {"liveParked"}},
        {false, true, false, true, {"liveParked"}},
    };
    for (const Case& c : cases) {
        AppSandbox box;
        ScheduleClock clock(box.subsystems());
        std::set<std::string> ran;
        g_optCollisionUserGnd.set(c.gnd);
        g_optCollisionUserAir.set(c.air);
        g_optCollisionLiveParkedGnd.set(c.liveParked);
        box.subsystems().answers[Question::UserOnGround] = [&] { return c.onGround; };
        box.subsystems().on["collisionUserGround"] = [&] { ran.insert("userGround"); };
        box.subsystems().on["collisionUserAir"] = [&] { ran.insert("userAir"); };
        box.subsystems().on["collisionLiveParked"] = [&] { ran.insert("liveParked"); };
        clock.runSeconds(1);
        EXPECT_EQ(ran, c.expected);
    }
}

TEST(MainLoopSchedule, MainLoopLeavesOnExitAndAcknowledges)
{
    AppSandbox box;
    CallRecorder& calls = box.subsystems().calls;
    int wakes = 0;
    box.subsystems().answers[Question::FlightRunning] = [] { return true; };
    box.subsystems().on["flightWake"] = [&] {
        if (++wakes == 25)
            g_exitRequested.store(true);
    };
    gf_markMainLoopStarted();
    mainLoop();
    gf_markMainLoopEnded();
    EXPECT_EQ(wakes, 25);
    EXPECT_EQ(calls.count("flightWake"), 25);
    EXPECT_EQ(calls.indexOf("accept(true)"), 0);
    EXPECT_EQ(calls.indexOf("parkUpdates(true)"), 1);
    EXPECT_EQ(calls.count("accept(true)") + calls.count("parkUpdates(true)"), 2);
    EXPECT_TRUE(gf_waitMainLoopEnded(std::chrono::milliseconds(0)));
}

// The twentieth refused livery (error 81) leaves the AI tick and reaches the main loop's handler,
// which ends the run with SYSTEM ERROR at the first wake. The refused aircraft are gone and the
// record after the throwing one stays queued.
TEST(MainLoopSchedule, TwentiethRefusedLiveryEndsTheRun)
{
    AppSandbox box;
    g_refusedLiveries.clear();
    g_refusedTypes.clear();
    for (int i = 0; i < 18; ++i)
        g_refusedLiveries.push_back(tvx::format("Earlier livery {}", i));
    g_liveAc.clear();
    g_simEvents.clear();
    g_pendingObjects.clear();
    for (std::uint32_t i = 0; i < 3; ++i) {
        LiveAc ac;
        ac.hexid = 0x3C4000 + i;
        ac.callsign = tvx::format("DLH{}", 40 + i);
        ac.state = AcState::CreationRequested;
        ac.title = "Refused Stand-in";
        g_liveAc.push_back(ac);
        gf_postSimEvent(SimEvent{0, ac.hexid, 0, SIM_EVENT_CREATION_REFUSED, 0.0, 0.0});
    }
    g_tick.store(1);  // no paced request on the few wakes of this test
    int wakes = 0;
    box.subsystems().answers[Question::FlightRunning] = [] { return true; };
    box.subsystems().on["flightWake"] = [&] {
        if (++wakes == 5)
            g_exitRequested.store(true);  // bound for a loop that would not end on its own
        gf_updateAI();
    };
    mainLoop();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(g_exitReason.load(), ExitReason::SYSTEM_ERROR);
    if (g_exitReason.load() != ExitReason::NOT_YET_SET) {
        EXPECT_TRUE(gf_waitFinalExitDone(std::chrono::seconds(10)));
    }
    const std::string text = "81: there are too many liveries that could not be created by MSFS!, see Log.txt";
    EXPECT_NE(gf_errorLineText().find("mainLoop: " + text), std::string::npos) << gf_errorLineText();
    const std::string log = box.logText();
    std::size_t logged = 0;
    for (auto pos = log.find("Error 81"); pos != std::string::npos; pos = log.find("Error 81", pos + 1))
        ++logged;
    EXPECT_EQ(logged, 1u);
    EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
    ASSERT_EQ(g_liveAc.size(), 1u);
    EXPECT_EQ(g_liveAc[0].hexid, 0x3C4002u);
    ASSERT_EQ(g_simEvents.size(), 1u);
    EXPECT_EQ(g_simEvents[0].hexid, 0x3C4002u);

    g_liveAc.clear();
    g_simEvents.clear();
    g_refusedLiveries.clear();
    g_refusedTypes.clear();
}

}  // namespace

// The wakes keep a 10 ms grid whatever each wake's work takes, so that 100 ticks are a second of
// the wall clock; a late wake is made up by wakes at least 7 ms apart on the planned ends, and only
// a stall of more than two seconds starts the grid afresh.
TEST(MainLoopSchedule, WakesKeepTheirGridAndRestartItAfterAStall)
{
    using namespace std::chrono_literals;
    WakeGrid grid;
    const WakeGrid::Clock::time_point t0{1000s};
    WakeGrid::Clock::time_point end = grid.next(t0, 10ms);
    EXPECT_EQ(end, t0 + 10ms);  // the first wake starts the grid
    for (int k = 2; k <= 100; ++k) {
        // Each wake sleeps late by 0.3 ms and works 0.5 ms: the next one still ends on the grid.
        end = grid.next(end + 800us, 10ms);
        ASSERT_EQ(end, t0 + k * 10ms) << "wake " << k;
    }
    // A wake 13 ms late: the next one was planned 7 ms after it and runs at once, then the grid.
    const auto grid100 = end;
    EXPECT_EQ(grid.next(grid100 + 13ms, 10ms), grid100 + 7ms);
    EXPECT_EQ(grid.next(grid100 + 13ms, 10ms), grid100 + 20ms);
    // 40 ms late: the wakes planned 7 ms apart from a period before now until the grid is reached
    // again, those already past at once.
    const auto grid120 = grid100 + 20ms;
    const WakeGrid::Clock::duration planned[] = {50ms, 57ms, 64ms, 71ms, 78ms, 80ms, 90ms};
    auto now = grid120 + 40ms;
    for (const auto at : planned) {
        const auto wake = grid.next(now, 10ms);
        EXPECT_EQ(wake, grid100 + at);
        now = std::max(now, wake);
    }
    // A stall of three seconds (a suspended machine): no three hundred wakes to make up, a new grid
    // from now.
    const auto resumed = now + 3s;
    EXPECT_EQ(grid.next(resumed, 10ms), resumed + 10ms);
}

// On a loaded machine every sleep ends 4 ms late and the thread is stopped for 120 ms once a
// second. The ticks still count the wall clock (the play-out runs on it), and the simulator, drawing
// a frame every 33 ms whatever the program does, never sees an aircraft step faster than 1.5 times
// its speed (a tick's more, from the ticks' granularity). Made up from when each wake came, the
// ticks fell a quarter behind: 4.9 s in 20 s.
TEST(MainLoopSchedule, WakesOnALoadedMachineKeepTheWallClock)
{
    using namespace std::chrono_literals;
    using Clock = WakeGrid::Clock;
    WakeGrid grid;
    const Clock::time_point t0{1000s};
    Clock::time_point now = t0;
    std::vector<Clock::time_point> ticks;
    while (now < t0 + 20s) {
        const Clock::time_point end = grid.next(now, 10ms);
        now = end > now ? end + 4ms : now;  // a sleep ends late; a wake already due comes at once
        if ((now - t0) % 1s < 120ms)
            now += 120ms - (now - t0) % 1s;  // stopped
        ticks.push_back(now);
        now += 500us;  // the wake's work
    }
    const double behind = std::chrono::duration<double>(now - t0).count() - 0.01 * static_cast<double>(ticks.size());
    EXPECT_LT(behind, 0.15) << ticks.size() << " ticks in " << std::chrono::duration<double>(now - t0).count() << " s";
    std::size_t shown = 0;
    Clock::time_point shownAt = t0;
    for (Clock::time_point frame = t0 + 33ms; frame < ticks.back(); frame += 33ms) {
        const auto n = static_cast<std::size_t>(std::upper_bound(ticks.begin(), ticks.end(), frame) - ticks.begin());
        if (n == shown)
            continue;  // no new position this frame
        const double step = 0.01 * static_cast<double>(n - shown);
        const double allowed = 1.5 * std::chrono::duration<double>(frame - shownAt).count() + 0.01;
        ASSERT_LE(step, allowed) << "frame at " << std::chrono::duration<double>(frame - t0).count() << " s";
        shown = n;
        shownAt = frame;
    }
}
