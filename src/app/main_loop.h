// The main loop: 10 ms wakes on the start-up thread, the AI work of every wake and the schedules of
// the one-second tick. Everything here runs on the start-up (main-loop) thread.
#pragma once

#include <chrono>
#include <cstdint>

// Runs until g_exitRequested; acknowledges its end through gf_markMainLoopEnded.
void mainLoop();
// One wake: the schedule clock, the AI work, and on a one-second tick the per-second work and the
// schedules.
void lf_workTavix();
// Stores gf_nowDaySlot() into g_nowDaySlot when the UTC second has changed since the last store.
void lf_storeScheduleClock();
// The per-second schedules for second counter s (called by lf_workTavix on each tick).
void lf_runSchedules(std::int64_t s);
void lf_everyTick();
void lf_every5Seconds(std::int64_t s);
void lf_every15Seconds();
void lf_every30Seconds(std::int64_t s);
void lf_workSimNotRunning();

// Second counter of the one-second tick (0 before the first tick), reset at each start.
std::int64_t gf_secondCounter();
// Main-loop state back to a fresh start (every start of the main loop, and tests).
void gf_resetMainLoopState();

// Flags of the schedules, for tests: renew of static parked traffic, daily reset pending, turn of
// the 15-second work (0: next turn disables controls and asks for buffers, 1: next turn applies).
bool gf_renewPending();
bool gf_dailyResetPending();
int gf_every15Turn();

// RT_PARKTRAFFIC_ONLY switched on in the window: the next plan adjustment renews (window thread).
void gf_requestRenew();

// The wait of one wake (10 ms); tests replace it before the loop starts.
extern void (*g_mainLoopSleep)(std::chrono::milliseconds);

// The wakes' grid: each wake ends a period after the last one's end, not a period after its own
// work, because the AI tick counts one period per wake and the feed's play-out slots count in ticks
// (a wake that sleeps 10 ms after 0.4 ms of work makes the 30 s delay 31.2 s; on a busy machine the
// ticks ran 10-15 % slow). A late wake is made up by wakes planned 0.7 periods apart, each from the
// last one's planned end, not from when it came: at most 1.43 ticks a period keeps every frame's
// step within 1.5 times the aircraft's speed, and on a loaded machine, which wakes a thread
// milliseconds late and stops it for a tenth of a second now and then, the make-up still gains
// 0.3 periods a wake. Planned from when each wake came, it gained nothing there: the grid fell
// behind, started afresh and dropped the ticks (2-3 % of the wall clock), and the aircraft played
// out seconds late. More than kRestartAfter behind the grid (a suspended machine), the grid starts
// afresh from now.
class WakeGrid {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRestartAfter{2000};
    // The end of the wake that began its sleep at now.
    Clock::time_point next(Clock::time_point now, Clock::duration period);
    // The grid's time of the next wake: a wake behind it is owed (on time, the next wake's end).
    Clock::time_point due() const { return m_next; }

private:
    Clock::time_point m_next{};  // the grid
    Clock::time_point m_pace{};  // the last wake's planned end
};
