// The main loop on the start-up thread: a 10 ms wake with a 1 ms system timer resolution. Each wake
// stores the schedule clock once per wall-clock second (g_nowDaySlot) and runs the AI work while a
// flight runs (or the idle work without one); each one-second tick, taken from the simulator's
// on-ground reports, runs the per-second work and the schedules by second count s:
//   every second      lf_everyTick
//   s % 5 == 0        lf_every5Seconds (reserved stand), and on s % 15 == 0 lf_every15Seconds
//   s % 16 == 0       park-airport updates, but not when s % 15 == 0 or a plan rebuild is pending
//   s % 30 == 0       lf_every30Seconds (no-match list every 1200 s, daily reset)
//   s % 61 == 0       static twins of live aircraft, when static aircraft exist
//   s % 62 == 0       Callsign2ObjectId.txt, with CALLSIGN_OBJECTIDS and MSFS_2020 on
//   s % 1200 == 0     renewal of the static parked traffic (through the two turns of 15 s)
//   s % 86400 == 0    daily reset (read by lf_every30Seconds)
// Everything in this file runs on the start-up (main-loop) thread; its state is that thread's.
#include "app/main_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/exit.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_commands.h"
#include "foundation/format.h"
#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "win32/win_api.h"

WakeGrid::Clock::time_point WakeGrid::next(Clock::time_point now, Clock::duration period)
{
    m_next += period;
    if (m_next < now - kRestartAfter || m_next > now + period) {
        m_next = now + period;
        m_pace = m_next;
        return m_next;
    }
    if (m_next >= now) {  // on the grid
        m_pace = m_next;
        return m_next;
    }
    // Behind: the next wake 0.7 periods after the last one's planned end, already due when that wake
    // came late, but never more than a period before now (a long stall is not made up at once).
    m_pace = std::max(m_pace + period * 7 / 10, now - period);
    return m_pace;
}

void (*g_mainLoopSleep)(std::chrono::milliseconds) = [](std::chrono::milliseconds wait) {
    static WakeGrid grid;  // the main-loop thread's
    const auto end = grid.next(WakeGrid::Clock::now(), wait);
    gf_setNextWakeDue(grid.due());  // the feed reader times replies by the ticks owed too
    std::this_thread::sleep_until(end);
};

namespace {

struct MainLoopState {
    std::int64_t seconds = 0;       // one-second ticks since the main loop started
    bool flightPaused = false;      // the last wake found no running flight
    bool firstIdleWake = true;      // next idle wake is the first of its pause
    bool renew = false;             // static parked traffic to be renewed by the next plan adjustment
    bool dailyResetPending = false;
    int every15Turn = 0;            // 0: disable controls and ask for buffers; 1: apply the changes
    std::int64_t clockSecond = -1;  // UTC second at which the schedule clock was last stored
};

MainLoopState g_loop;
std::atomic<bool> g_renewRequested{false};  // set by the window thread, taken on the next tick

}  // namespace

std::int64_t gf_secondCounter()
{
    return g_loop.seconds;
}

void gf_resetMainLoopState()
{
    g_loop = MainLoopState{};
}

bool gf_renewPending()
{
    return g_loop.renew;
}

bool gf_dailyResetPending()
{
    return g_loop.dailyResetPending;
}

int gf_every15Turn()
{
    return g_loop.every15Turn;
}

// The schedule clock g_nowDaySlot, stored once per wall-clock second: the parking work of this
// wake (sightings, plans, stay limits) reads it.
void lf_storeScheduleClock()
{
    const std::int64_t second = gf_utcNowSeconds();
    if (second == g_loop.clockSecond)
        return;
    g_loop.clockSecond = second;
    g_nowDaySlot.store(gf_nowDaySlot());
}

void mainLoop()
{
    gf_resetMainLoopState();
    gf_markMainLoopStarted();
    gf_registerMainLoopThread();
    timeBeginPeriod(1);
    try {
        lf_storeScheduleClock();
        gf_subsystems().acceptTraffic(true);
        gf_subsystems().checkForParkAirportUpdates(true);
        while (!g_exitRequested.load() && !g_shuttingDown.load()) {
            lf_workTavix();
            g_mainLoopSleep(std::chrono::milliseconds(10));
        }
    } catch (...) {
        lf_handleException("mainLoop", std::current_exception());
    }
    timeEndPeriod(1);
    gf_setNextWakeDue(SteadyTime::max());
    gf_clearMainLoopThread();
    gf_markMainLoopEnded();
}

void lf_workTavix()
{
    lf_storeScheduleClock();
    gf_runWindowCommands();
    Subsystems& subsystems = gf_subsystems();
    if (!subsystems.ask(Question::FlightRunning)) {
        lf_workSimNotRunning();
        return;
    }
    g_loop.firstIdleWake = true;
    subsystems.flightWake();
    if (!subsystems.ask(Question::TakeTick))
        return;
    ++g_loop.seconds;
    lf_everyTick();
    lf_runSchedules(g_loop.seconds);
}

void gf_requestRenew()
{
    g_renewRequested.store(true);
}

void lf_runSchedules(std::int64_t s)
{
    if (g_renewRequested.exchange(false))
        g_loop.renew = true;
    // The flags first: the 15- and 30-second work of this same second reads them.
    if (s % 1200 == 0) {
        g_loop.renew = true;
        g_loop.every15Turn = 0;  // start the two turns afresh
    }
    if (s % 86400 == 0)
        g_loop.dailyResetPending = true;

    Subsystems& subsystems = gf_subsystems();
    if (s % 5 == 0)
        lf_every5Seconds(s);
    if (s % 16 == 0 && s % 15 != 0 && g_loop.every15Turn == 0)
        subsystems.checkForParkAirportUpdates(false);
    if (s % 30 == 0)
        lf_every30Seconds(s);
    if (s % 61 == 0 && subsystems.ask(Question::StaticAcExist))
        subsystems.periodic(Periodic::RemoveStaticTwins);
    if (s % 62 == 0 && g_optCallsignObjectids.value() && g_optMsfs2020.value())
        subsystems.periodic(Periodic::WriteCallsign2ObjectId);
}

void lf_everyTick()
{
    Subsystems& subsystems = gf_subsystems();
    if (g_loop.flightPaused) {
        g_loop.flightPaused = false;
        subsystems.acceptTraffic(true);
        gf_log("{:%H:%M:%S} Flight resumed", std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    }
    gf_showWriteProblems(false);
    SecondWork work;
    // A blank selection text would only report an unknown callsign every second.
    work.selectAcByCallsign = !g_optCallsign2Objectid.value().empty();
    work.removeAllStaticAc = gf_takeFlushStaticRequest();
    // The flushed aircraft must not come back with the next adjustment.
    if (work.removeAllStaticAc)
        gf_setCheckBox(g_optInitialLoadOnly, true);
    const bool onGround = subsystems.ask(Question::UserOnGround);
    work.collisionUserGround = onGround && g_optCollisionUserGnd.value();
    work.collisionUserAir = !onGround && g_optCollisionUserAir.value();
    work.collisionLiveParked = g_optCollisionLiveParkedGnd.value();
    subsystems.everySecond(work);
}

void lf_every5Seconds(std::int64_t s)
{
    if (gf_subsystems().ask(Question::ReservedStand))
        gf_subsystems().periodic(Periodic::ClearReservedStand);
    if (s % 15 == 0)
        lf_every15Seconds();
}

void lf_every15Seconds()
{
    Subsystems& subsystems = gf_subsystems();
    if (!subsystems.ask(Question::ParkAdjustmentsEnabled))
        return;
    if (g_loop.every15Turn == 0) {
        subsystems.periodic(Periodic::StartParkAdjustment);
        g_loop.every15Turn = 1;
        return;
    }
    g_loop.every15Turn = 0;
    if (subsystems.ask(Question::ParkAirportHasStands)) {
        subsystems.applyParkTrafficChanges(g_loop.renew);
        g_loop.renew = false;
    }
}

void lf_every30Seconds(std::int64_t s)
{
    if (s % 1200 == 0)
        gf_subsystems().periodic(Periodic::LogNoMatchList);
    if (g_loop.dailyResetPending) {
        gf_subsystems().periodic(Periodic::DailyReset);
        g_loop.dailyResetPending = false;
    }
}

void lf_workSimNotRunning()
{
    Subsystems& subsystems = gf_subsystems();
    subsystems.idleWake(g_loop.firstIdleWake);
    subsystems.acceptTraffic(false);
    g_loop.flightPaused = true;
    g_loop.firstIdleWake = false;
}
