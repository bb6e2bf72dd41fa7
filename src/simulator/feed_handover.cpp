// Feed hand-over (traffic reader) and record acceptance (main loop). See feed_handover.h for the
// threads and the lock.
#include "simulator/feed_handover.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <unordered_set>

#include "foundation/class_tables.h"
#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "model/ac_records.h"
#include "model/airport_list.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/heard_altitudes.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/service_clock.h"
#include "simulator/stream_append.h"
#include "simulator/user_aircraft.h"
#include "traffic_service/traffic_client.h"

std::mutex g_udpMutex;
std::vector<TrafficRecord> g_udpMessages;
bool g_udpAccept = false;

namespace {

// The thresholds of the swallow rules are in motion_rules.h.
constexpr double kMaxFeetPerSecond = kMaxClimbFpm / 60.0;
constexpr double kRateChangeFeetPerSecond = kRateChangeFpm / 60.0;

// Guarded by g_udpMutex: history batches waiting for the main loop, and whether the main loop runs.
std::vector<TrafficRecord> s_historyWaiting;
bool s_mainLoopStarted = false;
// Lock-free view of s_mainLoopStarted for the main loop's per-tick check (written under the lock).
std::atomic<bool> s_mainLoopStartedSeen{false};

// Guarded by g_udpMutex: the service's clock against the AI tick's, and the request whose reply it
// took last (its send time): the batches of one reply, its history buffers and its live part, give
// the clock that reply once.
ServiceClock s_serviceClock;
std::optional<std::chrono::steady_clock::time_point> s_clockRequest;

// Main loop only: history records taken out of s_historyWaiting, applied front first.
std::deque<TrafficRecord> s_historyBacklog;

// Main loop only: the types whose aircraft were not created, each logged once.
std::unordered_set<std::string> s_notCreatedTypes;

// delay × 100 + tick + 10 × trunc((time − reference) × 10), kept within the tick counter's range.
std::int32_t lf_playOutSlot(std::uint32_t delay, std::int32_t tick, double time, double reference)
{
    const double tenths = std::trunc((time - reference) * 10.0);
    const double slot = static_cast<double>(delay) * kTicksPerSecond + tick + 10.0 * tenths;
    return static_cast<std::int32_t>(std::clamp<double>(slot, INT32_MIN, INT32_MAX));
}

// Drops the records whose feed time is no finite number: they cannot be ordered or played out.
void lf_dropUntimedRecords(std::vector<TrafficRecord>& records)
{
    const auto dropped =
        std::erase_if(records, [](const TrafficRecord& r) { return !std::isfinite(r.time); });
    if (dropped > 0)
        gf_logError("! {} feed record{} without a valid time dropped", dropped, dropped == 1 ? "" : "s");
}

// The request side of a reply: when its request went out (nothing when the batch came from no
// request: each batch is then a reply of its own), the seconds since then (0: taken at once), and,
// set by the stamping, where the next live request is to go to read the service's clock.
struct ReplyTiming {
    std::optional<std::chrono::steady_clock::time_point> request;
    double roundTrip = 0.0;
    std::optional<std::chrono::steady_clock::time_point> placeNext;
};

// The service's "now" at this tick, from the reply's data time (the service's second with its
// fraction dropped) and its request's round trip (see ServiceClock); also places the next request.
// A reply whose first batch the clock has taken is not taken again: the same interval twice would
// tell nothing, and the wall clock's step between them (none of the ticks') would misjudge whether
// the program's clock keeps the wall clock's pace.
// The reply arrived at the tick count and the ticks the main loop owes: a loaded machine wakes it
// late and the make-up reaches them soon. Timed by the tick count alone, such a reply put the
// service's second up to the lateness early, its interval missed the held one, and the estimate
// started afresh up to a second off: every aircraft played out that much late or early.
double lf_serviceNow(double dataTime, std::int32_t tick, ReplyTiming& timing)
{
    const double ticked = static_cast<double>(tick) / kTicksPerSecond;
    const auto wall = std::chrono::steady_clock::now();
    const double arrived = ticked + gf_wakesOwedSeconds(wall);
    std::lock_guard lock(g_udpMutex);
    if (!timing.request || timing.request != s_clockRequest)
        s_serviceClock.addReply(dataTime, arrived - timing.roundTrip, arrived,
                                std::chrono::duration<double>(wall.time_since_epoch()).count());
    s_clockRequest = timing.request;
    const double place = s_serviceClock.placement(arrived, timing.roundTrip);
    if (std::isfinite(place))
        timing.placeNext = wall + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(place - arrived));
    return ticked + s_serviceClock.offset();
}

// Every record plays out the live delay after its own feed time on this program's clock: the
// service's "now" at arrival comes from the data times (never earlier than the newest record), so a
// record that arrives 2 s old plays out 2 s sooner. A history buffer is a snapshot of the service's
// past that came with the reply: its records too play out the live delay after their own feed
// times, so an aircraft already in the feed at the start keeps the delay of one that comes later.
// Without a data time, and when even the newest record is older than the live delay by the data
// time (a data time off the records' clock: stamped from it, the whole batch would play out at
// once), the batch's median feed time stands for the arrival and the batch plays out its own delay
// after it.
void lf_stamp(std::vector<TrafficRecord>& records, std::uint32_t delay, double dataTime, ReplyTiming& timing)
{
    std::vector<double> times;
    times.reserve(records.size());
    for (const auto& r : records)
        times.push_back(r.time);
    std::sort(times.begin(), times.end());
    const bool dated = std::isfinite(dataTime) && dataTime > 0.0 &&
                       dataTime - times.back() <= static_cast<double>(kLiveDelay);
    const std::int32_t tick = g_tick.load();
    const double reference =
        dated ? std::max(lf_serviceNow(dataTime, tick, timing), times.back()) : times[times.size() / 2];
    const std::uint32_t playOut = dated ? kLiveDelay : delay;
    for (auto& r : records)
        r.pos.slot = lf_playOutSlot(playOut, tick, r.time, reference);
}

// Many feeds give no ground speed (none or 0) on the ground, also while the aircraft rolls for its
// take-off: such a record takes the speed of its move over the feed time, from the accepted
// record before the last one where there is one (two steps smooth the noise of the positions),
// else from the last. A record that stays put keeps its 0.
// A taxiing record whose fixes advance faster than its speed says (one receiver's surface speeds
// between 4 and 15 kt read 1.7 times low) takes the pace of its fixes likewise, up to twice its
// speed and along its track: taxiing at the speed field, the aircraft fell 70-90 m behind fixes
// 12 s apart.
void lf_deriveGroundSpeed(const LiveAc& ac, PosRecord& pos, double time)
{
    const double sinceLast = time - ac.lastRecordTime;
    if (pos.airborne || !(sinceLast > 0.0))
        return;
    if (pos.lat == ac.lastFeedLat && pos.lon == ac.lastFeedLon)
        return;
    const bool older = ac.olderFeedTime > 0.0 && time - ac.olderFeedTime <= 2.0 * sinceLast + 2.0;
    const double fromLat = older ? ac.olderFeedLat : ac.lastFeedLat;
    const double fromLon = older ? ac.olderFeedLon : ac.lastFeedLon;
    const double nm = gf_distanceNm(fromLat, fromLon, pos.lat, pos.lon);
    const double pace = nm / ((older ? time - ac.olderFeedTime : sinceLast) / kSecondsPerHour);
    if (pos.speed <= 0.0) {
        pos.speed = std::round(pace);
        return;
    }
    if (pos.speed < kCreepKnots || pos.speed > kTaxiPaceKnots || pace <= pos.speed ||
        pace > kTaxiPaceFactor * pos.speed || nm < kTaxiPaceStepNm)
        return;
    const double course = gf_initialCourse(LatLon{fromLat, fromLon}, LatLon{pos.lat, pos.lon});
    if (gf_absDiffDeg(course, pos.track * kDegToRad) > kTaxiPaceTrackDeg)
        return;
    pos.speed = pace;
}

// Real feeds now and then send an altitude the aircraft cannot have reached since the last
// record (tens of thousands of feet within seconds, also while it taxis, or hundreds of feet off a
// steady climb): faster than 8000 ft/min beyond a margin of 300 ft from the last record's altitude
// (1000 ft from the elevation of the airport under a record on the ground); where both records
// carry the feed's vertical rate, more than 4000 ft/min and 300 ft off the altitude that rate gives.
bool lf_altitudeOutOfReach(const PosRecord& last, const PosRecord& pos, double sinceLast)
{
    const double from = last.airborne ? last.alt : gf_airportElevationNear(last.lat, last.lon);
    if (std::isnan(from))
        return false;
    const double dt = std::max(sinceLast, 0.0);
    if (!last.airborne)
        return std::fabs(pos.alt - from) > kGroundAltitudeMarginFt + dt * kMaxFeetPerSecond;
    const bool rated = last.vertRate != 0.0 && pos.vertRate != 0.0 && std::fabs(last.vertRate) <= kMaxClimbFpm &&
                       std::fabs(pos.vertRate) <= kMaxClimbFpm;
    const double expected = rated ? from + (last.vertRate + pos.vertRate) / 2.0 / 60.0 * dt : from;
    const double rate = rated ? kRateChangeFeetPerSecond : kMaxFeetPerSecond;
    return std::fabs(pos.alt - expected) > kAltitudeMarginFt + dt * rate;
}

// A flying row higher than a threshold crossing above the field of an airport near it (any height
// away from airports). Lower, over the runway, the rows tell a lift-off or a touch-down as they
// are: on a touch-and-go the feed's rates read 1100-2100 ft/min while its altitudes rose 75 ft/min
// below the field; taken from the rows before along those rates, the aircraft rose 150 ft above
// them.
bool lf_aboveTheField(const PosRecord& pos)
{
    const double field = gf_airportElevationNear(pos.lat, pos.lon);
    return pos.airborne && (std::isnan(field) || pos.alt > field + kThresholdHeightFt);
}

// Degrees between two tracks the short way round: 359.5 against 0.5 is one degree (as plain
// numbers a track through north never counted as straight). A track that is no number stays no
// number, so that it never counts as straight.
double lf_trackDiff(double a, double b)
{
    const double step = b - a;
    return std::isfinite(step) ? std::fabs(gf_wrap180(step)) : std::fabs(step);
}

// Farther from the last feed position than twice the speed (at least 100 kt more) takes it.
bool lf_positionJump(const LiveAc& ac, const PosRecord& pos, double sinceLast)
{
    const double nm = gf_distanceNm(ac.lastFeedLat, ac.lastFeedLon, pos.lat, pos.lon);
    const double v = std::max(pos.speed, ac.stream.back().speed);
    return nm * kSecondsPerHour > std::max(sinceLast, 1.0) * std::max(2.0 * v, v + kJumpMarginKnots);
}

// A fix of a fast aircraft flying straight (the last record's track within 2 degrees) whose step
// from the last feed position is off the distance the two records' speeds give, by more than half a
// nautical mile and a fifth of that distance: thrown behind or ahead of where the aircraft was.
// Followed, the aircraft slowed to two thirds of its speed for half a minute, then ran 1.3 km behind.
bool lf_offStraightFlight(const LiveAc& ac, const PosRecord& pos, double sinceLast, double trackDiff)
{
    // A buffering aircraft starts its records again after a jump instead (acceptRecord).
    const PosRecord& last = ac.stream.back();
    if (ac.state == AcState::Buffering || !pos.airborne || !last.airborne || trackDiff > kStraightTrackDeg ||
        sinceLast > kBrokenAltitudeSeconds || std::min(pos.speed, last.speed) <= kFastAirborneKnots)
        return false;
    const double nm = gf_distanceNm(ac.lastFeedLat, ac.lastFeedLon, pos.lat, pos.lon);
    const double shortest = std::min(pos.speed, last.speed) * sinceLast / kSecondsPerHour;
    const double longest = std::max(pos.speed, last.speed) * sinceLast / kSecondsPerHour;
    const double off = nm < shortest ? shortest - nm : nm - longest;
    return off > std::max(kOffStepNm, kOffStepShare * shortest);
}

// A buffered stream of an aircraft in the air or rolling faster than a crawl.
bool lf_onTheMove(const std::deque<PosRecord>& stream)
{
    return std::any_of(stream.begin(), stream.end(),
                       [](const PosRecord& r) { return r.airborne || r.speed > kSlowKnots; });
}

// ---- The swallow rules judged against the last record taken ---------------------------------------

// What the rules see of a record: the aircraft, its last record, the record (with a derived ground
// speed), the record's feed time, the seconds since the last record taken, the degrees between
// the two tracks, and whether the altitude is out of reach of the newest record heard.
struct Candidate {
    const LiveAc& ac;
    const PosRecord& last;
    const PosRecord& pos;
    double time;
    double sinceLast;
    double trackDiff;
    bool altitudeOut;
    double lastSpeed;  // the speed the speed rules judge against
    bool speedJudged;  // false: the speed rules let the record pass
};

// An aircraft that waits at its last fix stands on a stop record of speed 0: its next record is
// judged against the feed's own speed there and the feed's time since, so the take-off that follows
// a gap in the fixes is no jump (every fix of the climb was swallowed as a jump from a standstill,
// and the aircraft stood on the runway for good).
Candidate lf_candidate(const LiveAc& ac, const PosRecord& pos, double time, double sinceLast, bool altitudeOut)
{
    const PosRecord& last = ac.stream.back();
    const bool waitedOn = ac.waiting && last.stop;
    const double lastSpeed = waitedOn ? ac.lastFeedSpeed : last.speed;
    const bool speedJudged = !waitedOn || std::fabs(pos.speed - lastSpeed) > kSpeedChangeKnotsPerSecond * sinceLast;
    return Candidate{ac, last, pos, time, sinceLast, lf_trackDiff(last.track, pos.track), altitudeOut, lastSpeed,
                     speedJudged};
}

// Within a second of the last record taken (or older): nothing the motion can fly.
bool lf_sameRecord(const Candidate& c)
{
    return c.time == c.ac.lastRecordTime || c.sinceLast <= kSameRecordSeconds;
}

// Ten times the last speed, or a tenth of it, between two moving records: a broken speed.
bool lf_speedJumpUp(const Candidate& c)
{
    return c.speedJudged && c.lastSpeed > kSlowKnots && c.pos.speed >= kSpeedJumpFactor * c.lastSpeed;
}

bool lf_speedJumpDown(const Candidate& c)
{
    return c.speedJudged && c.pos.speed > kSlowKnots && c.lastSpeed >= kSpeedJumpFactor * c.pos.speed;
}

// From a standstill to 80 kt or back between two records.
bool lf_standstillJump(const Candidate& c)
{
    return c.speedJudged && ((c.lastSpeed <= kSlowKnots && c.pos.speed >= kStandstillJumpKnots) ||
                             (c.pos.speed <= kSlowKnots && c.lastSpeed >= kStandstillJumpKnots));
}

bool lf_altitudeOut(const Candidate& c)
{
    return c.altitudeOut;
}

// A flying aircraft reported again and again at the feed's last position is a stale position (real
// archives repeat one for minutes): it is no stop, the aircraft flies on along its extension
// records and is removed when no fresh position comes.
bool lf_staleAirPosition(const Candidate& c)
{
    return c.pos.airborne && c.pos.speed > kStaleAirKnots && c.pos.lat == c.ac.lastFeedLat &&
           c.pos.lon == c.ac.lastFeedLon;
}

// Also while the aircraft flies on along extension records: the feed repeats its last fix at
// every request.
bool lf_thrownFix(const Candidate& c)
{
    return lf_offStraightFlight(c.ac, c.pos, c.sinceLast, c.trackDiff);
}

// A fast flying aircraft on a steady track that has not flown 450 m since the last record: the fix
// adds nothing (not while the aircraft waits at the end of its data).
bool lf_steadyInAir(const Candidate& c)
{
    return c.ac.holdCounter < 1 && c.pos.airborne && c.pos.speed > kFastAirborneKnots &&
           c.trackDiff <= kAirTrackDeg && c.sinceLast <= kAirMoveNm / (c.pos.speed / kSecondsPerHour);
}

// A slow ground aircraft on a steady track that has not rolled 20 m (at most 15 s) since the last
// record: the fix adds nothing (not while the aircraft waits at the end of its data).
bool lf_steadyOnGround(const Candidate& c)
{
    if (c.ac.holdCounter >= 1 || c.pos.airborne || c.pos.speed > kSlowGroundKnots || c.trackDiff > kGroundTrackDeg)
        return false;
    const double limit = c.pos.speed > 0.0
                             ? std::min(kGroundMoveNm / (c.pos.speed / kSecondsPerHour), kGroundWaitCapSeconds)
                             : kGroundWaitCapSeconds;
    return c.sinceLast <= limit;
}

struct StreamRule {
    SwallowRule rule;
    bool (*swallows)(const Candidate&);
};

// In this order: the first that holds swallows the record.
constexpr StreamRule kStreamRules[] = {
    {SwallowRule::SameRecord, lf_sameRecord},
    {SwallowRule::SpeedJumpUp, lf_speedJumpUp},
    {SwallowRule::SpeedJumpDown, lf_speedJumpDown},
    {SwallowRule::StandstillJump, lf_standstillJump},
    {SwallowRule::AltitudeOutOfReach, lf_altitudeOut},
    {SwallowRule::StaleAirPosition, lf_staleAirPosition},
    {SwallowRule::ThrownFix, lf_thrownFix},
    {SwallowRule::SteadyInAir, lf_steadyInAir},
    {SwallowRule::SteadyOnGround, lf_steadyOnGround},
};

constexpr std::size_t kSwallowRuleCount = static_cast<std::size_t>(SwallowRule::Count);

// The records each rule swallowed in this run (the main loop counts; the reader thread too while
// it applies the first history before the main loop starts; read at the exit).
std::array<std::atomic<std::uint64_t>, kSwallowRuleCount> s_swallowed{};

// Counts the record against its rule; true (the record belonged to the aircraft).
bool lf_swallow(SwallowRule rule)
{
    s_swallowed[static_cast<std::size_t>(rule)].fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace

double gf_creationTurnRateDeg(std::uint32_t sizeClass) { return gf_classRow(sizeClass).turnRateDeg; }
double gf_creationVertRateCap(std::uint32_t sizeClass) { return gf_classRow(sizeClass).vertRateCap; }
double gf_creationSlowGroundSpeed(std::uint32_t sizeClass) { return gf_classRow(sizeClass).slowGroundSpeed; }

void gf_acceptUdpMessages(bool accept)
{
    std::lock_guard lock(g_udpMutex);
    g_udpAccept = accept;
    if (accept) {
        s_mainLoopStarted = true;
        s_mainLoopStartedSeen.store(true, std::memory_order_release);
    }
}

namespace {

void lf_handleTrafficBatch(std::vector<TrafficRecord>& records, std::uint32_t delay, double dataTime,
                           ReplyTiming& timing)
{
    lf_dropUntimedRecords(records);
    if (records.empty())
        return;
    lf_stamp(records, delay, dataTime, timing);

    if (delay != kLiveDelay) {
        std::lock_guard lock(g_udpMutex);
        if (s_mainLoopStarted) {
            s_historyWaiting.insert(s_historyWaiting.end(), std::make_move_iterator(records.begin()),
                                    std::make_move_iterator(records.end()));
        } else {
            // No main loop yet: this thread is the only one touching the aircraft. A record that
            // throws is logged and the rest still go on.
            for (auto& record : records) {
                try {
                    lf_applyRecord(record);
                } catch (const std::exception& e) {
                    gf_logError("{}: {}", "gf_handleTrafficBatch", e.what());
                }
            }
        }
        records.clear();
        return;
    }

    {
        std::lock_guard lock(g_udpMutex);
        if (g_udpAccept && g_udpMessages.empty())
            g_udpMessages.swap(records);
    }
    records.clear();  // a batch that was not taken is dropped whole
}

}  // namespace

void gf_handleTrafficBatch(std::vector<TrafficRecord>& records, std::uint32_t delay, double dataTime)
{
    ReplyTiming timing;
    lf_handleTrafficBatch(records, delay, dataTime, timing);
}

void gf_markFeedMainLoopStarted()
{
    if (s_mainLoopStartedSeen.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(g_udpMutex);
    s_mainLoopStarted = true;
    s_mainLoopStartedSeen.store(true, std::memory_order_release);
}

std::string_view gf_swallowRuleName(SwallowRule rule)
{
    static constexpr std::string_view kNames[kSwallowRuleCount] = {
        "respawning or removed", "same record", "speed jump up", "speed jump down", "standstill jump",
        "altitude out of reach", "stale position", "thrown fix", "steady in the air", "steady on the ground",
        "parked traffic", "respawn refused",
    };
    return kNames[static_cast<std::size_t>(rule)];
}

std::uint64_t gf_swallowedBy(SwallowRule rule)
{
    return s_swallowed[static_cast<std::size_t>(rule)].load(std::memory_order_relaxed);
}

std::string gf_swallowCountsText()
{
    std::string text = "Records swallowed by rule:";
    for (std::size_t i = 0; i < kSwallowRuleCount; ++i) {
        const auto rule = static_cast<SwallowRule>(i);
        text += tvx::format("{} {} {}", i == 0 ? "" : ",", gf_swallowRuleName(rule), gf_swallowedBy(rule));
    }
    return text;
}

void gf_resetFeedHandover()
{
    for (auto& count : s_swallowed)
        count.store(0, std::memory_order_relaxed);
    std::lock_guard lock(g_udpMutex);
    g_udpMessages.clear();
    g_udpAccept = false;
    s_historyWaiting.clear();
    s_mainLoopStarted = false;
    s_mainLoopStartedSeen.store(false);
    s_historyBacklog.clear();
    s_notCreatedTypes.clear();
    s_serviceClock.reset();
    s_clockRequest.reset();
}

std::size_t gf_pendingHistoryRecords()
{
    std::lock_guard lock(g_udpMutex);
    return s_historyWaiting.size() + s_historyBacklog.size();
}

void lf_handleUdpMessages()
{
    gf_assertMainLoopThread();
    try {
        {
            std::lock_guard lock(g_udpMutex);
            for (auto& record : s_historyWaiting)
                s_historyBacklog.push_back(std::move(record));
            s_historyWaiting.clear();
        }
        while (!s_historyBacklog.empty()) {
            TrafficRecord record = std::move(s_historyBacklog.front());
            s_historyBacklog.pop_front();
            lf_applyRecord(record);
        }

        std::lock_guard lock(g_udpMutex);
        for (int taken = 0; taken < 2 && !g_udpMessages.empty(); ++taken) {
            TrafficRecord record = std::move(g_udpMessages.back());
            g_udpMessages.pop_back();
            lf_applyRecord(record);
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "lf_handleUdpMessages", e.what());
        throw;
    }
}

void lf_applyRecord(TrafficRecord& record)
{
    for (auto& ac : g_liveAc) {
        if (liveac::acceptRecord(ac, record))
            return;
    }
    if (record.callsign.empty() || g_liveAc.empty()) {
        lf_createLiveAcOfKnownType(record);
        return;
    }
    const bool sameFlightElsewhere = std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& ac) {
        return ac.callsign == record.callsign && ac.acType == record.acType;
    });
    if (sameFlightElsewhere)
        return;  // the same flight under another address
    lf_createLiveAcOfKnownType(record);
}

bool liveac::acceptRecord(LiveAc& ac, TrafficRecord& record)
{
    if (ac.hexid != record.hexid)
        return false;
    if (ac.state == AcState::Respawning || ac.state == AcState::BeingRemoved)
        return lf_swallow(SwallowRule::NotNow);

    const double feedSpeed = record.pos.speed;  // before a ground speed is derived from the positions
    if (!ac.stream.empty()) {
        const double sinceLast = record.time - ac.lastRecordTime;
        lf_deriveGroundSpeed(ac, record.pos, record.time);
        const PosRecord& pos = record.pos;
        // Altitudes are judged from the newest record heard, also one swallowed as too close to
        // the last: a broken altitude a second after a good one is plain, while six seconds
        // after the last record taken it may pass for a steep descent. Its altitude is that of
        // the rows heard before it (gf_heardAltitude): judged from a row off by the altitude
        // coding noise, the good row after it was out of reach.
        const bool altitudeOut = pos.airborne && sinceLast < kBrokenAltitudeSeconds &&
                                 lf_altitudeOutOfReach(ac.heard, pos, record.time - ac.heardTime);
        if (!altitudeOut)
            ac.heardAltitudes.hear(record.time, pos);
        if (!altitudeOut && record.time >= ac.heardTime) {
            ac.heard = pos;
            ac.heardTime = record.time;
            if (lf_aboveTheField(pos))
                ac.heard.alt = gf_heardAltitude(ac.heardAltitudes, record.time, pos);
        }
        const Candidate candidate = lf_candidate(ac, pos, record.time, sinceLast, altitudeOut);
        for (const StreamRule& rule : kStreamRules) {
            if (rule.swallows(candidate))
                return lf_swallow(rule.rule);
        }
        // A buffering aircraft whose new position lies farther than it could have flown (after a
        // stale or broken position) starts its records again there, instead of being placed at
        // the old one and flying the gap.
        if (ac.state == AcState::Buffering && lf_positionJump(ac, pos, sinceLast))
            ac.stream.clear();
    }

    // At the park airport's elevation a standing aircraft is left to the parked traffic. One
    // already buffered on the move (on final, on its landing roll, taxiing) keeps its records
    // there: swallowed, they left a gap of up to 30 s that its first legs flew at one mean speed,
    // 80 m behind a landing roll.
    if (ac.state == AcState::Buffering && !lf_notAtParkElevation(record) && !lf_onTheMove(ac.stream))
        return lf_swallow(SwallowRule::ParkedTraffic);

    if (!liveac::respawn(ac, record))
        return lf_swallow(SwallowRule::RespawnRefused);

    ac.olderFeedTime = ac.lastRecordTime;
    ac.olderFeedLat = ac.lastFeedLat;
    ac.olderFeedLon = ac.lastFeedLon;
    ac.lastRecordTime = record.time;
    ac.lastFeedLat = record.pos.lat;
    ac.lastFeedLon = record.pos.lon;
    ac.lastFeedSpeed = feedSpeed;
    // A flying record's altitude from the rows of the last seconds: one row off by the feed's
    // altitude coding noise, kept as a record, was flown to.
    if (lf_aboveTheField(record.pos))
        record.pos.alt = gf_heardAltitude(ac.heardAltitudes, record.time, record.pos);
    liveac::appendRecord(ac, record.pos);
    return true;
}

namespace {

// Why an aircraft of the feed is not created, once per type: without it a track of a type the
// database does not know left nothing in the simulator and nothing in the log.
void lf_logNotCreated(const TrafficRecord& record, const std::string& why)
{
    if (s_notCreatedTypes.insert(record.acType).second)
        gf_log("{}: type \"{}\" {}; aircraft of this type are not created",
               record.callsign.empty() ? record.registration : record.callsign, record.acType, why);
}

}  // namespace

bool lf_notAtParkElevation(const TrafficRecord& record)
{
    const double alt = record.pos.alt;
    if (alt >= kHighAltitudeFt || alt <= 0.0)
        return true;
    const double elevation = g_parkAirport.code.empty() ? kNoParkAirportElevationFt : g_parkAirport.alt;
    return std::fabs(alt - elevation) > kParkBandFt;
}

void lf_createLiveAcOfKnownType(TrafficRecord& record)
{
    if (record.acType.empty())
        record.acType = gf_regcodeType(record.registration);
    if (gf_isKnownType(record.acType)) {
        lf_createLiveAc(record);
        return;
    }
    std::string type = gf_regcodeType(record.registration);
    if (type.empty()) {
        lf_logNotCreated(record, "not in the aircraft database");
        return;
    }
    record.acType = std::move(type);
    lf_createLiveAc(record);
}

void lf_createLiveAc(TrafficRecord& record)
{
    const SizeClass sizeClass = gf_sizeClassOfType(record.acType);
    if (!gf_classWanted(sizeClass)) {
        const BoolParameter& option = sizeClass == SizeClass::Light      ? g_optLightAircraft
                                      : sizeClass == SizeClass::HighPerf ? g_optHighPerfAircraft
                                                                         : g_optHelicopters;
        lf_logNotCreated(record, "not shown: " + option.key() + " is off");
        return;
    }
    if (!lf_notAtParkElevation(record))
        return;

    record.coupledCallsign1 = record.callsign;
    record.coupledCallsign2.clear();
    record.value64 = 0;

    AcData data = gf_makeAcData(record);
    data.hexid = record.hexid;
    const ClassRow& values = gf_classRow(static_cast<std::uint32_t>(sizeClass));
    data.baseTurnRate = values.turnRateDeg * kPi / 180.0;
    data.turnRate = data.baseTurnRate;
    data.vertRateCap = values.vertRateCap;
    data.slowGroundSpeed = values.slowGroundSpeed;

    g_liveAc.emplace_back(record.pos, data, record.time);
}

void gf_handleTrafficBatch(TrafficClient& client, std::uint32_t delay)
{
    if (client.liveRecords().empty()) {
        // An empty history buffer (a snapshot before any aircraft was in range) says nothing of the
        // reply's data time, which its other buffers are stamped from.
        if (delay == kLiveDelay)
            client.setTrafficDataTime(0.0);
        return;
    }
    ReplyTiming timing;
    if (const auto sent = client.liveRequestSentAt(); sent != std::chrono::steady_clock::time_point{}) {
        timing.request = sent;
        timing.roundTrip =
            std::max(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 0.0);
    }
    lf_handleTrafficBatch(client.liveRecords(), delay, client.trafficDataTime(), timing);
    if (delay == kLiveDelay)
        client.placeLiveRequest(timing.placeNext);
}

double gf_serviceClockOffset()
{
    std::lock_guard lock(g_udpMutex);
    return s_serviceClock.offset();
}
