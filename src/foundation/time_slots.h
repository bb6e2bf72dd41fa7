// The schedule clock and half-hour slots. A stamp packs a weekday 1..7 (Monday = 1) in the low
// 32 bits and a half-hour slot 0..47 of that day (slot = hours × 2, + 1 from minute 30 on) in the
// high 32 bits. The clock is UTC; in time-shift mode it follows the traffic data time that the
// traffic client sets. Tests fix the time through the clock seam.
//
// Threads: every function may be called from any thread; g_nowDaySlot is stored by the main loop
// once per second and read everywhere.
#pragma once

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Seconds of a day (Unix time counts no leap seconds).
inline constexpr std::int64_t kSecondsPerDay = 86400;

// The 48 half-hour slots of a day.
using SlotSet = std::bitset<48>;
// A packed weekday/slot stamp.
using DaySlot = std::uint64_t;

constexpr DaySlot gf_makeDaySlot(std::uint32_t weekday, std::uint32_t slot)
{
    return (static_cast<DaySlot>(slot) << 32) | weekday;
}
constexpr std::uint32_t gf_weekdayOf(DaySlot stamp) { return static_cast<std::uint32_t>(stamp & 0xFFFFFFFFu); }
constexpr std::uint32_t gf_slotOf(DaySlot stamp) { return static_cast<std::uint32_t>(stamp >> 32); }

// The schedule clock: gf_nowDaySlot() stored by the main loop once per second.
extern std::atomic<std::uint64_t> g_nowDaySlot;

// ---- Clock seam ---------------------------------------------------------------------------
// Current UTC time in seconds since 1970: the system clock, or the fixed time set for tests.
std::int64_t gf_utcNowSeconds();
// Tests: the clock stands at the given UTC seconds until gf_releaseClock().
void gf_setFixedClock(std::int64_t utcSeconds);
void gf_releaseClock();
// Steady time of the parking stays (only differences of it are used): std::chrono::steady_clock,
// or the source set for tests, such as the simulated clock of a lockstep run (nullptr: the steady
// clock again).
using SteadyTime = std::chrono::steady_clock::time_point;
SteadyTime gf_steadyNow();
void gf_setSteadySource(SteadyTime (*source)());
// When the main loop's next wake is due on its grid of wakes (std::chrono::steady_clock), stored
// by the main loop at every wake; SteadyTime::max() before the first and after the last. A wake
// not come by then is owed: the main loop makes it up, and its tick with it.
void gf_setNextWakeDue(SteadyTime due);
// Seconds the main loop is behind its grid at now (the steady clock): 0 while it is on time.
double gf_wakesOwedSeconds(SteadyTime now);

// ---- Time-shift mode ----------------------------------------------------------------------
// The traffic client sets the UTC time of the traffic data it receives (seconds since 1970; 0 after
// a reply without traffic) and switches time-shift mode on while it plays history data. In
// time-shift mode the schedule clock follows the last non-zero data time.
void gf_setTrafficDataTime(double utcSeconds);
double gf_trafficDataTime();
void gf_setTimeShiftMode(bool on);
bool gf_timeShiftMode();

// ---- Stamps and texts ---------------------------------------------------------------------
// The stamp of a UTC time.
DaySlot gf_daySlotOf(std::int64_t utcSeconds);
// The stamp of now: the clock, or the last non-zero traffic data time in time-shift mode.
DaySlot gf_nowDaySlot();
// Orders the stamps in the week (day 1 counts as after day 7; otherwise the larger weekday, then
// the larger slot, is later) and returns the half-hours from the earlier to the later:
// (later day − earlier day) × 48 + later slot − earlier slot, + 336 when the later is on day 1
// and the earlier on day 7.
std::uint32_t gf_isAfterInWeek(DaySlot a, DaySlot b);
// "Monday" .. "Sunday" for 1..7, else "wrong day".
std::string_view gf_dayName(std::uint32_t weekday);
// Clock at the start of park-airport lines: UTC "hh:mm:ss", or in time-shift mode the traffic
// data time "hh:mm:ss" followed by "<<< ".
std::string gf_clockText();
// Current UTC time of day, "hh:mm:ss".
std::string gf_utcClockText();
// "Www Mmm dd hh:mm:ss yyyy" of a UTC time.
std::string gf_utcText(std::time_t time);

// ---- Slot sets (file-local to the slot code; declared for the parking files and tests) ----
// "3,4,47" -> {3,4,47}. A piece that is not a number or a slot of 48 or more is logged as
// "===> exception {} in lf_hours2bitset" and the set built so far is returned.
SlotSet lf_hours2bitset(std::string_view text);
// {3,4,47} -> "3,4,47"; the empty set gives "".
std::string lf_bitset2hours(const SlotSet& slots);
