// The schedule clock, its texts and the half-hour slot sets. Any thread: the clock seam, the
// traffic data time and the time-shift flag are atomics.
#include "foundation/time_slots.h"

#include <array>
#include <chrono>
#include <cmath>
#include <exception>
#include <optional>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"

std::atomic<std::uint64_t> g_nowDaySlot{0};

namespace {

std::atomic<bool> g_clockFixed{false};
std::atomic<std::int64_t> g_fixedSeconds{0};
std::atomic<SteadyTime (*)()> g_steadySource{nullptr};
// The main loop's next wake on its grid, as steady-clock ticks since its epoch.
std::atomic<SteadyTime::rep> g_nextWakeDue{SteadyTime::max().time_since_epoch().count()};
std::atomic<double> g_trafficDataTime{0.0};
// The last time the service gave (0 stands for "no traffic in the reply"): the schedule clock of
// time-shift mode goes by it, not by 1970-01-01 while the feed is quiet.
std::atomic<double> g_lastTrafficDataTime{0.0};
std::atomic<bool> g_timeShift{false};

// Broken-down UTC time without the C library's shared buffers: days since 1970 to a civil date
// (proleptic Gregorian calendar).
struct UtcParts {
    int year, month, day;       // month 1..12
    int hour, minute, second;
    int weekday;                // 1..7, Monday = 1
};

UtcParts lf_utcParts(std::int64_t seconds)
{
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    UtcParts p{};
    p.hour = static_cast<int>(rest / 3600);
    p.minute = static_cast<int>(rest % 3600 / 60);
    p.second = static_cast<int>(rest % 60);
    // 1970-01-01 was a Thursday (4).
    p.weekday = static_cast<int>(((days % 7) + 7 + 3) % 7) + 1;

    const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::days{days}}};
    p.year = static_cast<int>(ymd.year());
    p.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    p.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    return p;
}

std::string lf_hhmmss(std::int64_t seconds)
{
    const UtcParts p = lf_utcParts(seconds);
    return tvx::format("{:02}:{:02}:{:02}", p.hour, p.minute, p.second);
}

std::int64_t lf_trafficSeconds()
{
    return static_cast<std::int64_t>(std::floor(g_lastTrafficDataTime.load()));
}

}  // namespace

std::int64_t gf_utcNowSeconds()
{
    if (g_clockFixed.load())
        return g_fixedSeconds.load();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::floor<std::chrono::seconds>(now).count();
}

void gf_setFixedClock(std::int64_t utcSeconds)
{
    g_fixedSeconds.store(utcSeconds);
    g_clockFixed.store(true);
}

void gf_releaseClock() { g_clockFixed.store(false); }

SteadyTime gf_steadyNow()
{
    if (const auto source = g_steadySource.load())
        return source();
    return std::chrono::steady_clock::now();
}

void gf_setSteadySource(SteadyTime (*source)()) { g_steadySource.store(source); }

void gf_setNextWakeDue(SteadyTime due) { g_nextWakeDue.store(due.time_since_epoch().count()); }

double gf_wakesOwedSeconds(SteadyTime now)
{
    const SteadyTime due{SteadyTime::duration{g_nextWakeDue.load()}};
    return now > due ? std::chrono::duration<double>(now - due).count() : 0.0;
}

void gf_setTrafficDataTime(double utcSeconds)
{
    g_trafficDataTime.store(utcSeconds);
    if (utcSeconds > 0.0)
        g_lastTrafficDataTime.store(utcSeconds);
}
double gf_trafficDataTime() { return g_trafficDataTime.load(); }
void gf_setTimeShiftMode(bool on) { g_timeShift.store(on); }
bool gf_timeShiftMode() { return g_timeShift.load(); }

DaySlot gf_daySlotOf(std::int64_t utcSeconds)
{
    const UtcParts p = lf_utcParts(utcSeconds);
    const auto slot = static_cast<std::uint32_t>(p.hour * 2 + (p.minute >= 30 ? 1 : 0));
    return gf_makeDaySlot(static_cast<std::uint32_t>(p.weekday), slot);
}

DaySlot gf_nowDaySlot()
{
    return gf_daySlotOf(gf_timeShiftMode() ? lf_trafficSeconds() : gf_utcNowSeconds());
}

std::uint32_t gf_isAfterInWeek(DaySlot a, DaySlot b)
{
    const std::uint32_t dayA = gf_weekdayOf(a), dayB = gf_weekdayOf(b);
    const std::uint32_t slotA = gf_slotOf(a), slotB = gf_slotOf(b);
    bool bIsLater;
    if (dayA == 1 && dayB == 7)
        bIsLater = false;
    else if (dayA == 7 && dayB == 1)
        bIsLater = true;
    else if (dayA != dayB)
        bIsLater = dayB > dayA;
    else
        bIsLater = slotB >= slotA;
    const std::int64_t laterDay = bIsLater ? dayB : dayA, earlierDay = bIsLater ? dayA : dayB;
    const std::int64_t laterSlot = bIsLater ? slotB : slotA, earlierSlot = bIsLater ? slotA : slotB;
    std::int64_t halfHours = (laterDay - earlierDay) * 48 + laterSlot - earlierSlot;
    if (laterDay == 1 && earlierDay == 7)
        halfHours += 336;
    return static_cast<std::uint32_t>(halfHours);
}

std::string_view gf_dayName(std::uint32_t weekday)
{
    static constexpr std::array<std::string_view, 7> kNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                              "Friday", "Saturday", "Sunday"};
    if (weekday < 1 || weekday > 7)
        return "wrong day";
    return kNames[weekday - 1];
}

std::string gf_clockText()
{
    if (gf_timeShiftMode())
        return lf_hhmmss(lf_trafficSeconds()) + "<<< ";
    return lf_hhmmss(gf_utcNowSeconds());
}

std::string gf_utcClockText() { return lf_hhmmss(gf_utcNowSeconds()); }

std::string gf_utcText(std::time_t time)
{
    static constexpr std::array<std::string_view, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const UtcParts p = lf_utcParts(static_cast<std::int64_t>(time));
    return tvx::format("{} {} {:02} {:02}:{:02}:{:02} {}", kDays[p.weekday - 1], kMonths[p.month - 1], p.day, p.hour,
                       p.minute, p.second, p.year);
}

namespace {

// The writer's form alone: slots of one or two digits between commas, each below the slot count.
// Nothing for any other text, which the general reading below takes.
std::optional<SlotSet> lf_plainHours(std::string_view text)
{
    SlotSet slots;
    std::size_t value = 0, digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 2)
                return std::nullopt;
            value = value * 10 + static_cast<std::size_t>(c - '0');
        } else if (c == ',' && digits > 0 && value < slots.size()) {
            slots.set(value);
            value = digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits > 0) {
        if (value >= slots.size())
            return std::nullopt;
        slots.set(value);
    }
    return slots;
}

}  // namespace

SlotSet lf_hours2bitset(std::string_view text)
{
    if (const auto plain = lf_plainHours(text))
        return *plain;
    SlotSet slots;
    try {
        std::size_t start = 0;
        // Pieces between commas; a trailing comma adds no piece.
        while (start < text.size()) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string_view::npos)
                comma = text.size();
            const int slot = tvx::stoi(std::string(text.substr(start, comma - start)));
            if (slot < 0 || slot >= static_cast<int>(slots.size()))
                tvx::throwInvalidBitsetPosition();
            slots.set(static_cast<std::size_t>(slot));
            start = comma + 1;
        }
    } catch (const std::exception& e) {
        gf_logError("exception {} in lf_hours2bitset", e.what());
    }
    return slots;
}

std::string lf_bitset2hours(const SlotSet& slots)
{
    std::string text;
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (slots.test(i))
            text += tvx::format("{},", i);
    if (!text.empty())
        text.pop_back();
    return text;
}
