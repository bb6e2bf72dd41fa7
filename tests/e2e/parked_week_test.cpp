// Parked traffic from end to end, a week in a few minutes: the whole program at Keflavik (BIKF, the
// park airport of the demo's user aircraft, which stands at the stock parking file's gate
// East-Apron-117) in time-shift mode, so that the schedule clock is the traffic data time. The
// demo's traffic is replayed from scenario second 400, moved to Saturday 2026-01-03 14:06 UTC (one
// hour of time shift): aircraft taxiing in park at their gates and the service's parked aircraft are
// placed at their stands; a departure that stood at its gate when the program started is pushed
// back and taxis away; the sightings go into the stand schedules. Then the traffic moves on by
// exactly one week, the feed quiet, and the program restarts in the same process: the learned file
// saved at the exit is read back, and the aircraft that arrived a week ago are planned from the
// schedules at the stands where they parked. At every moment looked at, no two aircraft share a
// stand and none stands on the user's stand; the exit removes every object. A second run keeps the
// parked aircraft to CUSTOM_MAX_PARK.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "app/exit.h"
#include "app/startup.h"
#include "e2e/e2e_checks.h"
#include "e2e/e2e_world.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "download_server/download_server.h"
#include "simconnect/standin_sim.h"

namespace {

using namespace std::chrono_literals;
using namespace tvxtest;

constexpr double kShiftSeconds = 3600.0;            // TIME_SHIFT_HOURS 1
constexpr double kFirstSecond = 400.0;              // scenario second at the start
constexpr double kWeekSeconds = 7 * 86400.0;
constexpr double kToSaturday = 2 * 86400.0 + 14 * 3600.0;  // the scenario starts on Thursday 00:00
const std::string kUserStand = "East-Apron-117";
// Stands at its gate from the start of the scenario and is pushed back at scenario second 440.
const std::string kDeparture = "ICE798";

// A stand of the stock parking file (read here, not from the program).
struct StandFix {
    std::string name;
    double lat = 0, lon = 0, radiusM = 0, headingDeg = 0;
};

std::vector<StandFix> lf_stands(const std::string& icao = "BIKF")
{
    const std::string xml = readFile(dlstandin::committedTree() / "MSFS" / "archive" / "stock" / (icao + ".xml"));
    const std::regex parkpos(R"re(<parkpos id="([^"]*)" latitude="([-0-9.]+)" longitude="([-0-9.]+)" heading="([-0-9.]+)" radius="([0-9.]+)")re");
    std::vector<StandFix> out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), parkpos); it != std::sregex_iterator(); ++it)
        out.push_back({(*it)[1].str(), std::stod((*it)[2].str()), std::stod((*it)[3].str()), std::stod((*it)[5].str()),
                       std::stod((*it)[4].str())});
    return out;
}

// The stand under a simulator object: the nearest within its radius (at least 15 m).
const StandFix* lf_standUnder(const std::vector<StandFix>& stands, double lat, double lon)
{
    const StandFix* best = nullptr;
    double bestM = 0;
    for (const StandFix& s : stands) {
        const double m = gf_metres(lat, lon, s.lat, s.lon);
        if (m <= std::max(s.radiusM, 15.0) && (!best || m < bestM)) {
            best = &s;
            bestM = m;
        }
    }
    return best;
}

const StandFix& lf_stand(const std::vector<StandFix>& stands, const std::string& name)
{
    const auto it = std::find_if(stands.begin(), stands.end(), [&](const StandFix& s) { return s.name == name; });
    if (it == stands.end())
        throw std::runtime_error(name + " is not a stand of the stock file");
    return *it;
}

// The program's objects standing still at stands now: stand name -> ATC ids.
std::map<std::string, std::vector<std::string>> lf_occupiedStands(const std::vector<StandFix>& stands)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& o : simstandin::sim().objects())
        if (o.own && o.onGround && o.tasKt < 1.0)
            if (const StandFix* s = lf_standUnder(stands, o.pos.latDeg, o.pos.lonDeg))
                out[s->name].push_back(o.atcId);
    return out;
}

// No two aircraft on one stand, none on the user's: checked now, returns the occupied stands.
std::map<std::string, std::vector<std::string>> lf_expectStandsShared(const std::vector<StandFix>& stands,
                                                                      const char* when,
                                                                      const std::string& userStand = kUserStand)
{
    const auto occupied = lf_occupiedStands(stands);
    for (const auto& [stand, atcIds] : occupied) {
        EXPECT_EQ(atcIds.size(), 1u) << when << ": " << stand << " holds " << ::testing::PrintToString(atcIds);
        EXPECT_NE(stand, userStand) << when << ": " << ::testing::PrintToString(atcIds) << " on the user's stand";
    }
    return occupied;
}

// The service's parked list holds aircraft whose transponder has been silent for ten minutes:
// they are not in the live feed.
void lf_parkedOutOfTheFeed(tvxstandin::TrafficScenario& scenario)
{
    std::set<std::string> parked;
    for (const auto& p : scenario.parked)
        parked.insert(p.hex);
    std::erase_if(scenario.tracks, [&](const auto& t) { return parked.contains(t.hex); });
}

// The demo's setting from a scenario second on: the user starts the program from a loaded flight at
// the park airport, with a lateral range of 5 nm, and the service's parked aircraft are not in the feed.
E2eSetup lf_demoSetup(double replayStart)
{
    E2eSetup setup;
    setup.replayStart = replayStart;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}};
    setup.flightLoaded = true;
    setup.editScenario = lf_parkedOutOfTheFeed;
    return setup;
}

void lf_expectServiceAircraftPlaced(const E2eWorld& world,
                                    const std::map<std::string, std::vector<std::string>>& occupied, const char* when)
{
    std::set<std::string> statics;
    for (const auto& [stand, atcIds] : occupied)
        statics.insert(atcIds.begin(), atcIds.end());
    for (const auto& p : world.scenario().parked)
        EXPECT_TRUE(statics.contains(p.callsign + "*")) << when << ": " << p.callsign << "* not at a stand";
}

// Where the simulator shows an object, and its heading.
struct ObjectFix {
    double lat = 0, lon = 0, headingDeg = 0;
};

void lf_noteObject(const std::string& tail, std::vector<ObjectFix>& fixes)
{
    const auto o = gf_objectOfTail(tail);
    if (!o)
        return;
    const ObjectFix fix{o->pos.latDeg, o->pos.lonDeg, o->headingRad * 180.0 / std::numbers::pi};
    if (fixes.empty() || fixes.back().lat != fix.lat || fixes.back().lon != fix.lon)
        fixes.push_back(fix);
}

// Course in degrees (0..360) from the first position to the second, on a plane around the first.
double lf_courseDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double dNorth = lat2 - lat1;
    const double dEast = (lon2 - lon1) * std::cos(lat1 * std::numbers::pi / 180.0);
    return std::fmod(std::atan2(dEast, dNorth) * 180.0 / std::numbers::pi + 360.0, 360.0);
}

// Degrees between the nose and the way from the stand to where the aircraft is (0..180).
double lf_noseOffTheWayOut(const StandFix& stand, const ObjectFix& fix)
{
    return std::abs(std::remainder(fix.headingDeg - lf_courseDeg(stand.lat, stand.lon, fix.lat, fix.lon), 360.0));
}

std::size_t lf_count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The live arrivals that parked: callsign -> stand (the departure's claim of its own gate aside).
std::map<std::string, std::string> lf_arrivals(const std::string& log)
{
    static const std::regex arrived(R"((?:^|\n)([^\n]*?)\s*: (\S+)\s+arrived at stand)");
    std::map<std::string, std::string> out;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), arrived); it != std::sregex_iterator(); ++it)
        if ((*it)[2].str() != kDeparture)
            out[(*it)[2].str()] = (*it)[1].str();
    return out;
}

// One position write from the simulator's log of every write (frame,sim_s,wall_s,object,lat,lon,...).
struct PositionWrite {
    double second = 0.0;
    std::uint32_t object = 0;
    double lat = 0.0, lon = 0.0;
};

std::vector<PositionWrite> lf_positionWrites(const std::filesystem::path& csv)
{
    std::vector<PositionWrite> out;
    std::ifstream in(csv);
    std::string line;
    while (std::getline(in, line)) {
        double second = 0, lat = 0, lon = 0, wall = 0;
        unsigned long long frame = 0;
        unsigned object = 0;
        if (std::sscanf(line.c_str(), "%llu,%lf,%lf,%u,%lf,%lf", &frame, &second, &wall, &object, &lat, &lon) == 6)
            out.push_back({second, object, lat, lon});
    }
    return out;
}

// The longest simulated time between two position writes of one aircraft while it moves within
// 3 nm of the user (the park airport), from the simulator's log of every write: as long as that,
// the aircraft stood still on the user's screen. A gap counts when the aircraft also moved into
// the earlier write shortly before it (not the first move after a stay at a stand).
struct WriteGap {
    double seconds = 0.0, atSecond = 0.0;
    std::uint32_t object = 0;
};

WriteGap lf_longestMovingWriteGap(const std::filesystem::path& csv, double lat, double lon)
{
    struct Last {
        double second = -1.0, lat = 0.0, lon = 0.0;
        bool moving = false;
    };
    std::map<std::uint32_t, Last> last;
    WriteGap worst;
    for (const PositionWrite& w : lf_positionWrites(csv)) {
        if (gf_metres(w.lat, w.lon, lat, lon) > 3.0 * 1852.0) {
            last.erase(w.object);
            continue;
        }
        Last& l = last[w.object];
        const bool moved = l.second >= 0.0 && gf_metres(l.lat, l.lon, w.lat, w.lon) > 0.01;
        if (moved && l.moving && w.second - l.second > worst.seconds)
            worst = {w.second - l.second, w.second, w.object};
        l.moving = moved && w.second - l.second <= 0.5;
        l = {w.second, w.lat, w.lon, l.moving};
    }
    return worst;
}

// A week later, the feed quiet: the program restarts in the same process. Returns the quiet
// scenario and the simulator frame at the restart.
std::pair<tvxstandin::TrafficScenario, std::uint64_t> lf_restartAWeekLater(E2eWorld& world)
{
    tvxstandin::TrafficScenario nextWeek = world.scenario();
    nextWeek.start += kWeekSeconds;
    nextWeek.tracks.clear();
    world.traffic().replaceScenario(nextWeek);
    const std::uint64_t restartFrame = simstandin::sim().frameCount();
    gf_exit(ExitReason::RESTART, 1);
    world.stepWhile([] { return gf_startUpCount() < 2; }, 60s);
    return {nextWeek, restartFrame};
}

// The learned file saved at the exit holds each sighting (callsign -> stand) at the data time's
// weekday and half-hour, Saturday 14:00 to 14:30, at the stand where it was seen.
void lf_expectLearned(const E2eWorld& world, const std::string& icao, const std::map<std::string, std::string>& seenAt)
{
    const std::string learned = readFile(world.folder() / "airports" / "learned" / "stock" / (icao + ".xml"));
    ASSERT_FALSE(learned.empty()) << world.logText();
    for (const auto& [callsign, stand] : seenAt) {
        const std::regex option("<parkpos id=\"" + stand + "\"[^/]*?>\\s*(<opt [^>]*/>\\s*)*<opt [^>]*day=\"6\" hh=\"28\" cs=\""
                                + callsign + "\"");
        EXPECT_TRUE(std::regex_search(learned, option)) << callsign << " at " << stand << "\n" << learned;
    }
}

// The window's counts against the program's objects in the simulator, static (callsign ending in
// '*') and live. The counts are taken once a second, and an object announced less than two seconds
// ago (its lights cycle) is not placed yet: they may trail the simulator by two objects.
void lf_expectWindowCountsMatchTheSimulator(int wantedParked, int occupiedStands)
{
    int simLive = 0;
    int simStatic = 0;
    for (const auto& o : simstandin::sim().objects())
        if (o.own)
            ++(o.atcId.ends_with('*') ? simStatic : simLive);
    const PaintedValues shown = gf_paintedValues();
    std::printf("window: live %d, parked %d live %d static of %d; simulator: %d live, %d static\n", shown.liveCount,
                shown.liveParkedCount, shown.staticParkedCount, shown.parkedCount, simLive, simStatic);
    EXPECT_LE(std::abs(shown.liveParkedCount + shown.staticParkedCount - occupiedStands), 1)
        << occupiedStands << " stands occupied in the simulator";
    EXPECT_LE(std::abs(shown.staticParkedCount - simStatic), 2) << simStatic << " static objects in the simulator";
    EXPECT_LE(std::abs(shown.liveCount - simLive), 2) << simLive << " live objects in the simulator";
    EXPECT_LE(shown.liveParkedCount, shown.liveCount);
    if (wantedParked >= 0)
        EXPECT_EQ(shown.parkedCount, wantedParked);
    else
        EXPECT_GE(shown.parkedCount, shown.liveParkedCount + shown.staticParkedCount);
}

TEST(E2eParkedWeek, ArrivalsAreLearnedAndPlannedAtTheirStandsAWeekLater)
{
    E2eSetup setup;
    setup.replayStart = kShiftSeconds + kFirstSecond;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}, {"TIME_SHIFT_HOURS", "1"}};
    // The user starts the program from a loaded flight: the first traffic is in before the park
    // airport is set, so the aircraft on the ground are live traffic.
    setup.flightLoaded = true;
    setup.editScenario = [](tvxstandin::TrafficScenario& scenario) {
        scenario.start += kToSaturday;
        for (auto& p : scenario.parked)
            p.since += kToSaturday;
        lf_parkedOutOfTheFeed(scenario);
    };
    E2eWorld world(setup);
    const std::filesystem::path writes = world.folder() / "position-writes.csv";
    simstandin::sim().logPositions(writes.string());
    world.start();

    // ---- week 1: aircraft taxiing in park at their gates ----
    const std::vector<StandFix> stands = lf_stands();
    ASSERT_EQ(stands.size(), 53u);
    const auto* departure = world.trackOfCallsign(kDeparture);
    ASSERT_TRUE(departure);
    const StandFix* gate = lf_standUnder(stands, departure->points.front().lat, departure->points.front().lon);
    ASSERT_TRUE(gate);
    std::vector<ObjectFix> departureFixes;
    std::size_t samples = 0;  // moments at which the stands were looked at
    auto departureGone = [&] {
        return !departureFixes.empty()
               && gf_metres(gate->lat, gate->lon, departureFixes.back().lat, departureFixes.back().lon) > 150.0;
    };
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "week 1");
            lf_noteObject(kDeparture, departureFixes);
            return (lf_arrivals(world.logText()).size() < 3 || !departureGone())
                   && world.simSeconds() < 200.0;
        },
        150s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 5.0)) << world.logText();
    std::string log = world.logText();
    // The parking's adjustments every half minute, with the service's parked list, hold up no
    // aircraft that moves at the airport for more than half a second.
    simstandin::sim().logPositions("");
    const WriteGap gap = lf_longestMovingWriteGap(writes, world.userLat(), world.userLon());
    EXPECT_NE(log.find(" new parking position"), std::string::npos) << log;
    EXPECT_LE(gap.seconds, 0.5) << "object " << gap.object << " not written for " << gap.seconds
                                << " s before simulated second " << gap.atSecond;

    // The departure stood at its gate when the program started, before the park airport was set:
    // live traffic, at its stand, then pushed back (backing out, its nose towards the stand) and
    // taxiing away.
    ASSERT_FALSE(departureFixes.empty()) << kDeparture << " never created\n" << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(gate->name + "\\s*: " + kDeparture + "\\s+(parks|arrived at stand)")))
        << log;
    EXPECT_LT(gf_metres(gate->lat, gate->lon, departureFixes.front().lat, departureFixes.front().lon), 2.0);
    std::size_t backing = 0, away = 0;
    for (const ObjectFix& fix : departureFixes) {
        const double m = gf_metres(gate->lat, gate->lon, fix.lat, fix.lon);
        if (m > 5.0 && m < 30.0) {
            ++away;
            if (lf_noseOffTheWayOut(*gate, fix) > 135.0)
                ++backing;
        }
    }
    EXPECT_GE(away, 3u);
    EXPECT_EQ(backing, away) << kDeparture << " left " << gate->name << " nose first";
    EXPECT_TRUE(departureGone()) << kDeparture << " did not leave " << gate->name << "\n" << log;
    const std::map<std::string, std::string> parkedAt = lf_arrivals(log);  // callsign -> stand
    EXPECT_GE(parkedAt.size(), 3u) << log;
    const auto week1 = lf_expectStandsShared(stands, "week 1");
    for (const auto& [callsign, stand] : parkedAt) {
        ASSERT_TRUE(week1.contains(stand)) << callsign << " arrived at " << stand << " but is not there";
        EXPECT_EQ(week1.at(stand), std::vector<std::string>{callsign});
    }
    // The service's parked aircraft stand at their stands under their callsign and a '*'.
    lf_expectServiceAircraftPlaced(world, week1, "week 1");
    // The schedule clock is the traffic data time, one hour back: Saturday, 14:00 to 14:30, whatever
    // the wall clock says.
    const std::regex clockLine(R"(\(utc\) It is day \d+ \([A-Za-z]+\), [0-9.]+ hours)");
    std::size_t clockLines = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), clockLine); it != std::sregex_iterator(); ++it) {
        ++clockLines;
        EXPECT_EQ(it->str(), "(utc) It is day 6 (Saturday), 14.5 hours");
    }
    EXPECT_GE(clockLines, 1u) << log;

    // ---- a week later, the feed quiet; the program restarts in the same process ----
    const auto [nextWeek, restartFrame] = lf_restartAWeekLater(world);
    ASSERT_GE(gf_startUpCount(), 2) << world.logText();

    // The learned file saved at the exit: the arrivals' and the departure's sightings at the data
    // time's weekday and half-hour, at the stands where they stood.
    std::map<std::string, std::string> seenAt = parkedAt;
    seenAt[kDeparture] = gate->name;
    lf_expectLearned(world, "BIKF", seenAt);

    // Planned from the schedules: each arrival of a week ago, and the departure, stands at its stand
    // again as a static aircraft ("ICE434*"), and the service's parked aircraft are placed again.
    const auto restartedAt = world.simSeconds();
    auto allPlaced = [&] {
        const auto now = lf_occupiedStands(stands);
        for (const auto& [callsign, stand] : seenAt)
            if (!now.contains(stand) || now.at(stand) != std::vector<std::string>{callsign + "*"})
                return false;
        return true;
    };
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "a week later, placing");
            return !allPlaced() && world.simSeconds() < restartedAt + 120.0;
        },
        150s);
    // The program places a new object after its two-second lights cycle.
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 3.0)) << world.logText();
    log = world.logText();
    const auto week2 = lf_expectStandsShared(stands, "a week later");
    lf_expectServiceAircraftPlaced(world, week2, "a week later");
    {
        // The plan goes on placing its other aircraft, one every half second: once it is done,
        // the window's counts agree with the simulator's objects.
        const double placedAt = world.simSeconds();
        std::size_t objects = 0;
        double steadySince = placedAt;
        world.stepWhile(
            [&] {
                const std::size_t now = simstandin::sim().objects().size();
                if (now != objects) {
                    objects = now;
                    steadySince = world.simSeconds();
                }
                return world.simSeconds() < steadySince + 4.0 && world.simSeconds() < placedAt + 60.0;
            },
            90s);
        lf_expectWindowCountsMatchTheSimulator(-1, static_cast<int>(lf_occupiedStands(stands).size()));
    }
    for (const auto& [callsign, stand] : seenAt) {
        ASSERT_TRUE(week2.contains(stand)) << callsign << "* not planned at " << stand << "\n" << log;
        EXPECT_EQ(week2.at(stand), std::vector<std::string>{callsign + "*"});
    }
    EXPECT_NE(log.find("real position"), std::string::npos) << log;
    for (const auto& c : simstandin::sim().creations())
        if (c.frame > restartFrame && c.outcome == simstandin::CreationRec::Created) {
            EXPECT_TRUE(c.tail.ends_with('*')) << c.tail << " is live in a quiet feed";
        }

    // The same flight a week later: ICE778 comes in again, on its approach when the feed starts again,
    // and taxis to its stand, where the schedules have put its static copy. The copy makes way for
    // the live aircraft: at no moment do the two stand on the stand together, and while the flight
    // is live the plan does not place its copy again.
    const std::string again = "ICE778";
    ASSERT_TRUE(parkedAt.contains(again)) << log;
    const std::string againStand = parkedAt.at(again);
    tvxstandin::TrafficScenario flightAgain = nextWeek;
    const auto* track = world.trackOfCallsign(again);
    ASSERT_TRUE(track);
    flightAgain.tracks = {*track};
    // The feed now shows the flight as it was at scenario second 150, 85 s before its touchdown.
    // (The program asks for the traffic an hour back.)
    const double shift = world.scenarioSecond() - kShiftSeconds - 150.0;
    for (auto& point : flightAgain.tracks.front().points)
        point.t += shift;
    const std::uint64_t againFrame = simstandin::sim().frameCount();
    const double againAt = world.simSeconds();
    world.traffic().replaceScenario(flightAgain);
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "the flight again");
            // The feed shows the flight for 450 s; it parks some time after, its records played out behind.
            return lf_count(world.logText(), again + "   arrived at stand") < 2 && world.simSeconds() < againAt + 720.0;
        },
        150s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 3.0)) << world.logText();
    log = world.logText();
    const auto week2Again = lf_expectStandsShared(stands, "the flight again, parked");
    ASSERT_TRUE(week2Again.contains(againStand)) << log;
    EXPECT_EQ(week2Again.at(againStand), std::vector<std::string>{again});
    EXPECT_TRUE(gf_removedByProgram(again + "*")) << log;
    // ICE778 claimed its stand and parked there.
    EXPECT_EQ(lf_count(log, againStand + ": " + again + "   arrived at stand"), 2u) << log;
    for (const auto& c : simstandin::sim().creations())
        if (c.frame > againFrame && c.outcome == simstandin::CreationRec::Created) {
            EXPECT_NE(c.tail, again + "*") << "the copy of the live " << again << " placed again\n" << log;
        }

    // The user closes the window: every parked and live object is removed.
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    log = world.logText();
    EXPECT_NE(log.find("Exiting: RESTART"), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos) << log;
    std::printf("week 1: %zu arrivals parked, %zu stands occupied, %s pushed back from %s, longest write gap of a "
                "moving aircraft %.2f s; a week later: %zu stands occupied, %zu of them planned from the schedules; "
                "stands looked at %zu times\n",
                parkedAt.size(), week1.size(), kDeparture.c_str(), gate->name.c_str(), gap.seconds, week2.size(),
                seenAt.size(), samples);
}

// With at most three parked aircraft wanted (CUSTOM_MAX_PARK 3), the live arrivals that park make
// the earliest parked static aircraft go, and the 15-second adjustment keeps the parked aircraft to
// the wanted number.
TEST(E2eParkedWeek, MaxParkKeepsTheStandsToTheLimit)
{
    E2eSetup setup = lf_demoSetup(kFirstSecond);
    setup.settings.emplace_back("CUSTOM_MAX_PARK", "3");
    E2eWorld world(setup);
    world.start();
    const std::vector<StandFix> stands = lf_stands();
    world.stepWhile([&] { return lf_arrivals(world.logText()).size() < 3 && world.simSeconds() < 190.0; },
                    150s);
    // Two adjustments after the last arrival: the one under way when it parked may have counted
    // the stands before it; the next one removes what is over the limit.
    const std::size_t adjustments = lf_count(world.logText(), "Parking adjustments:");
    world.stepWhile([&] { return lf_count(world.logText(), "Parking adjustments:") < adjustments + 2
                                 && world.simSeconds() < 260.0; },
                    150s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 5.0)) << world.logText();
    const std::string log = world.logText();
    const auto occupied = lf_expectStandsShared(stands, "max park 3");
    std::size_t staticsRemoved = 0;
    const auto created = gf_createdObjects();
    for (const auto& r : simstandin::sim().removals())
        if (created.contains(r.objectId) && created.at(r.objectId).tail.ends_with('*') && r.packet != 0)
            ++staticsRemoved;
    std::printf("max park 3: %zu arrivals, %zu static aircraft removed, %zu stands occupied\n",
                lf_arrivals(log).size(), staticsRemoved, occupied.size());
    EXPECT_GE(lf_arrivals(log).size(), 2u) << log;
    EXPECT_GE(staticsRemoved, 1u) << log;
    EXPECT_LE(occupied.size(), 3u) << ::testing::PrintToString(occupied) << "\n" << log;
    lf_expectWindowCountsMatchTheSimulator(3, static_cast<int>(occupied.size()));
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
}

// A live arrival whose stream has run out at its stand (the feed quiet) stays there for 90 minutes of
// the program's steady time (180 for a Heavy, none of the demo's arrivals is one): at 84 to 88 minutes
// every arrival still stands where it parked; eight minutes later the plan adjustment has removed
// every one, those whose feed went on showing them at their stands after they parked too. The
// steady time is the simulated clock, with the hour and a half passed at once.
TEST(E2eParkedWeek, LiveArrivalsAreRemovedAfterTheirStay)
{
    E2eWorld world(lf_demoSetup(kFirstSecond));
    world.start();
    const std::vector<StandFix> stands = lf_stands();
    world.stepWhile([&] { return lf_arrivals(world.logText()).size() < 3 && world.simSeconds() < 190.0; },
                    150s);
    // The arrivals' feeds end at their stands at scenario second 600; three minutes later their streams
    // have run out, and their stays count from their last records.
    ASSERT_TRUE(world.runUntilSimSecond(std::max(world.simSeconds(), 780.0 - kFirstSecond))) << world.logText();
    std::string log = world.logText();
    const std::map<std::string, std::string> parkedAt = lf_arrivals(log);  // callsign -> stand
    ASSERT_GE(parkedAt.size(), 2u) << log;
    auto atTheirStands = [&] {
        const auto now = lf_occupiedStands(stands);
        std::size_t n = 0;
        for (const auto& [callsign, stand] : parkedAt)
            if (now.contains(stand) && now.at(stand) == std::vector<std::string>{callsign})
                ++n;
        return n;
    };
    EXPECT_EQ(atTheirStands(), parkedAt.size()) << ::testing::PrintToString(lf_occupiedStands(stands));

    // A plan adjustment (every other 15-second turn) within the limit, then one beyond it.
    world.passSteadyTime(std::chrono::minutes(84));
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 31.0)) << world.logText();
    EXPECT_EQ(atTheirStands(), parkedAt.size()) << world.logText();
    for (const auto& [callsign, stand] : parkedAt)
        EXPECT_FALSE(gf_removedByProgram(callsign)) << callsign << " removed within its stay";
    world.passSteadyTime(std::chrono::minutes(8));
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 31.0)) << world.logText();
    std::size_t removed = 0;
    const auto occupied = lf_occupiedStands(stands);
    for (const auto& [callsign, stand] : parkedAt) {
        if (gf_removedByProgram(callsign)) {
            ++removed;
            EXPECT_FALSE(gf_objectOfTail(callsign)) << callsign << " removed but still there";
        } else {
            EXPECT_EQ(occupied.contains(stand) ? occupied.at(stand) : std::vector<std::string>{},
                      std::vector<std::string>{callsign});
        }
    }
    EXPECT_EQ(removed, parkedAt.size()) << world.logText();
    lf_expectStandsShared(stands, "after the stays");
    std::printf("stay limit: %zu of %zu live arrivals removed after 90 minutes at their stands\n", removed,
                parkedAt.size());
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
}

// The demo's run, the traffic from scenario second 150: ICE160 turns off the taxiway towards stand
// 71 (heading 90) with some 45 degrees of its turn still to go as it rolls the last metres onto the
// stand, and WZZ347 taxis to East-Apron-121. Each arrival that parks stands on its stand's heading.
TEST(E2eParkedWeek, ArrivalsStandOnTheirStandHeadings)
{
    E2eWorld world(lf_demoSetup(150.0));
    world.start();
    const std::vector<StandFix> stands = lf_stands();
    world.stepWhile([&] { return lf_arrivals(world.logText()).size() < 2 && world.simSeconds() < 180.0; }, 150s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 3.0)) << world.logText();
    const std::map<std::string, std::string> parkedAt = lf_arrivals(world.logText());
    ASSERT_TRUE(parkedAt.contains("ICE160")) << world.logText();
    for (const auto& [callsign, standName] : parkedAt) {
        const StandFix& stand = lf_stand(stands, standName);
        const auto o = gf_objectOfTail(callsign);
        ASSERT_TRUE(o) << callsign;
        EXPECT_LT(gf_metres(stand.lat, stand.lon, o->pos.latDeg, o->pos.lonDeg), 2.0) << callsign;
        const double offDeg = std::remainder(o->headingRad * 180.0 / std::numbers::pi - stand.headingDeg, 360.0);
        EXPECT_LE(std::abs(offDeg), 1.0) << callsign << " at " << standName << " heading " << stand.headingDeg;
        std::printf("%s at %s: %.1f degrees off the stand heading\n", callsign.c_str(), standName.c_str(), offDeg);
    }
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
}

// ---- A week at Heathrow (EGLL), with the collision rules acting ----------------------------------

// A point of a made-up track: the aircraft passes it at that speed (knots) and altitude (feet).
struct Waypoint {
    double lat = 0, lon = 0, alt = 0, gs = 0;
    bool onGround = false;
};

tvxstandin::TrackPoint lf_point(double t, double lat, double lon, double alt, double gs, double course, double vr,
                                bool onGround)
{
    tvxstandin::TrackPoint p;
    p.t = t;
    p.lat = lat;
    p.lon = lon;
    p.alt = alt;
    p.gs = gs;
    p.track = course;
    p.heading = course;
    p.vr = vr;
    p.onGround = onGround;
    return p;
}

// A feed track along the waypoints from scenario second t0, a point every 3 s, the speed changing
// evenly along each leg; the last waypoint is the stand, where the aircraft stands until the second.
tvxstandin::ScenarioTrack lf_track(const std::string& hex, const std::string& callsign, const std::string& reg,
                                   const std::string& type, double t0, const std::vector<Waypoint>& way,
                                   double standUntil)
{
    tvxstandin::ScenarioTrack track{hex, callsign, reg, type, "", "", {}};
    double t = t0;
    for (std::size_t i = 0; i + 1 < way.size(); ++i) {
        const Waypoint& a = way[i];
        const Waypoint& b = way[i + 1];
        const double length = gf_metres(a.lat, a.lon, b.lat, b.lon);
        const double va = a.gs * 1852.0 / 3600.0, vb = b.gs * 1852.0 / 3600.0;
        const double duration = 2.0 * length / (va + vb);
        const double accel = (vb - va) / duration;
        const double course = lf_courseDeg(a.lat, a.lon, b.lat, b.lon);
        for (; t < t0 + duration; t += 3.0) {
            const double tau = t - t0;
            const double f = (va * tau + accel * tau * tau / 2.0) / length;
            track.points.push_back(lf_point(t, a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon),
                                            a.alt + f * (b.alt - a.alt), (va + accel * tau) * 3600.0 / 1852.0, course,
                                            (b.alt - a.alt) / duration * 60.0, a.onGround));
        }
        t0 += duration;
    }
    const Waypoint& stand = way.back();
    const double lastCourse = track.points.back().track;
    for (; t <= standUntil; t += 3.0)
        track.points.push_back(lf_point(t, stand.lat, stand.lon, stand.alt, 0.0, lastCourse, 0.0, true));
    return track;
}

constexpr double kHeathrowFt = 83.0;

// An arrival on runway 27L (the southern runway, landing west) from 2.5 nm out, which rolls out,
// turns off south and taxis at 15 kt along the lane to the stand: either the lane 30 m east of
// Terminal 4's stands 451-455 (passing each of them), or a turn-off further east towards stand 408.
std::vector<Waypoint> lf_arrivalTo(const StandFix& stand)
{
    std::vector<Waypoint> way = {
        {51.46500, -0.36800, 920.0, 140.0, false},        // final approach, 3 degrees
        {51.46500, -0.43408, 133.0, 135.0, false},        // threshold 27L
        {51.46496, -0.43840, kHeathrowFt, 130.0, true},   // touchdown
    };
    if (stand.lon < -0.4540) {
        constexpr double kLaneLon = -0.45416;
        way.push_back({51.46490, -0.45300, kHeathrowFt, 18.0, true});
        way.push_back({51.46440, kLaneLon, kHeathrowFt, 15.0, true});
        way.push_back({stand.lat, kLaneLon, kHeathrowFt, 15.0, true});
    } else {
        way.push_back({51.46492, -0.44780, kHeathrowFt, 18.0, true});
        way.push_back({51.46440, -0.44860, kHeathrowFt, 15.0, true});
        way.push_back({stand.lat + 0.00060, stand.lon, kHeathrowFt, 15.0, true});
    }
    way.push_back({stand.lat, stand.lon, kHeathrowFt, 0.0, true});
    return way;
}

// The last position the simulator was given for the object of that tail (the simulator's log of
// every position write).
std::optional<std::pair<double, double>> lf_lastWrite(const std::filesystem::path& csv, const std::string& tail)
{
    std::set<std::uint32_t> ids;
    for (const auto& [id, creation] : gf_createdObjects())
        if (creation.tail == tail)
            ids.insert(id);
    std::optional<std::pair<double, double>> last;
    for (const PositionWrite& w : lf_positionWrites(csv))
        if (ids.contains(w.object))
            last = std::pair{w.lat, w.lon};
    return last;
}

std::string lf_standOfUser(const std::vector<StandFix>& stands)
{
    const auto user = simstandin::sim().user();
    const StandFix* s = lf_standUnder(stands, user.pos.latDeg, user.pos.lonDeg);
    return s ? s->name : std::string();
}

// Heathrow, whose stock parking file holds 22 stands, on the same Saturday afternoon: the user
// aircraft stands at stand 455 of Terminal 4, the service's parked BAW7 at 454 beside it and KLM1003
// at 402, and three arrivals come in on 27L with COLLISION_LIVE_PARKED_GND on:
// - SAS4601 taxis to the user's stand: it does not claim it, and it is removed as it comes within
//   its and the user's half spans (x 1.15) of the user aircraft;
// - EIN154 taxis along the lane past stand 454 to stand 452: the parked BAW7* beside the lane is
//   removed for collision avoidance with it, and EIN154 parks at 452;
// - KLM1007 parks at stand 408.
// The user then moves the aircraft onto stand 452, where EIN154 stands: EIN154 is removed. A week
// later, after a restart in the same process, the schedules learned from the arrivals would put
// EIN154* at 452 and KLM1007* at 408: 452 holds the user aircraft and stays empty, KLM1007* is
// placed. The same week's BAW418 then taxis to stand 408: KLM1007* makes way and BAW418 parks there.
TEST(E2eParkedWeek, CollisionRulesActAtABusyAirport)
{
    const std::vector<StandFix> stands = lf_stands("EGLL");
    ASSERT_EQ(stands.size(), 22u);
    const StandFix& userStand = lf_stand(stands, "Stand 455");
    const StandFix& besideLane = lf_stand(stands, "Stand 454");
    const StandFix& einStand = lf_stand(stands, "Stand 452");
    const StandFix& klmStand = lf_stand(stands, "Stand 408");
    const StandFix& witness = lf_stand(stands, "Stand 402");

    TempFolder simFolder;
    nlohmann::json sim = nlohmann::json::parse(readFile(dlstandin::committedTree().parent_path() / "scenarios" / "demo_bikf_sim.json"));
    sim["user"]["lat"] = userStand.lat;
    sim["user"]["lon"] = userStand.lon;
    sim["user"]["altFt"] = kHeathrowFt;
    sim["user"]["headingDeg"] = 234.0;
    sim["terrainFt"] = kHeathrowFt;
    writeFile(simFolder / "sim_egll.json", sim.dump(2));

    E2eSetup setup;
    setup.simScenario = simFolder / "sim_egll.json";
    setup.replayStart = kShiftSeconds;
    setup.settings = {{"AUTO_RANGE", "false"},
                      {"LATERAL_RANGE", "5"},
                      {"TIME_SHIFT_HOURS", "1"},
                      {"COLLISION_LIVE_PARKED_GND", "true"}};
    setup.flightLoaded = true;
    setup.editScenario = [&](tvxstandin::TrafficScenario& scenario) {
        scenario.start += kToSaturday;
        const double since = scenario.start - 3 * 3600.0;
        scenario.tracks = {
            lf_track("4ac9e1", "SAS4601", "LN-RRW", "B738", 0.0, lf_arrivalTo(userStand), 500.0),
            lf_track("4ca7b5", "EIN154", "EI-DEO", "A320", 50.0, lf_arrivalTo(einStand), 500.0),
            lf_track("484cb2", "KLM1007", "PH-BXA", "B738", 100.0, lf_arrivalTo(klmStand), 500.0),
        };
        scenario.parked = {
            {"400a21", besideLane.lat, besideLane.lon, "454", "A320", "G-EUUA", "BAW7", since},
            {"484f10", witness.lat, witness.lon, "402", "B738", "PH-BXB", "KLM1003", since},
        };
        scenario.stations.push_back({"EGLL", 51.4775, -0.461389, 1021.0, "EGLL 010000Z 24008KT 9999 SCT030 08/04 Q1021"});
    };
    E2eWorld world(setup);
    const std::filesystem::path writes = world.folder() / "position-writes.csv";
    simstandin::sim().logPositions(writes.string());
    world.start();

    // ---- week 1 ----
    std::size_t samples = 0;
    auto userStandName = [&] { return lf_standOfUser(stands); };
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "Heathrow, week 1", userStandName());
            const auto arrivals = lf_arrivals(world.logText());
            return !(arrivals.contains("EIN154") && arrivals.contains("KLM1007")) && world.simSeconds() < 400.0;
        },
        200s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 5.0)) << world.logText();
    std::string log = world.logText();
    const auto week1 = lf_expectStandsShared(stands, "Heathrow, week 1", userStand.name);
    std::map<std::string, std::string> parkedAt = lf_arrivals(log);
    EXPECT_EQ(parkedAt, (std::map<std::string, std::string>{{"EIN154", einStand.name}, {"KLM1007", klmStand.name}}))
        << log;
    EXPECT_TRUE(week1.contains(einStand.name) && week1.at(einStand.name) == std::vector<std::string>{"EIN154"}) << log;
    // The user aircraft's stand is not taken: the arrival that wanted it was removed near the user.
    EXPECT_TRUE(gf_wasCreated("SAS4601")) << log;
    EXPECT_TRUE(gf_removedByProgram("SAS4601")) << log;
    EXPECT_FALSE(gf_objectOfTail("SAS4601")) << log;
    // Removed within the two half spans (B738, 34.32 m) x 1.15 = 39.5 m of the user aircraft, the
    // rule looking once a second as it slows down towards the stand.
    simstandin::sim().logPositions("");
    const auto sas = lf_lastWrite(writes, "SAS4601");
    ASSERT_TRUE(sas) << log;
    const double sasFromUser = gf_metres(sas->first, sas->second, userStand.lat, userStand.lon);
    EXPECT_LE(sasFromUser, 39.5);
    EXPECT_GE(sasFromUser, 30.0);
    // The parked BAW7* beside the lane made way for the live EIN154 passing it.
    EXPECT_TRUE(std::regex_search(log, std::regex(besideLane.name + ": BAW7\\*\\s+removed for collision avoidance "
                                                                     "with live EIN154")))
        << log;
    EXPECT_TRUE(gf_removedByProgram("BAW7*")) << log;
    // KLM1003* at 402 lies away from every path and stays.
    EXPECT_TRUE(week1.contains(witness.name) && week1.at(witness.name) == std::vector<std::string>{"KLM1003*"})
        << ::testing::PrintToString(week1);
    EXPECT_FALSE(gf_removedByProgram("KLM1003*")) << log;

    // The user aircraft moves onto stand 452, where EIN154 stands: EIN154 makes way.
    simstandin::sim().moveUser(einStand.lat, einStand.lon, kHeathrowFt);
    ASSERT_TRUE(world.stepWhile([] { return !gf_removedByProgram("EIN154"); }, 60s)) << world.logText();

    // ---- a week later, the feed quiet; the program restarts in the same process ----
    const auto [nextWeek, restartFrame] = lf_restartAWeekLater(world);
    ASSERT_GE(gf_startUpCount(), 2) << world.logText();
    lf_expectLearned(world, "EGLL", parkedAt);
    const auto restartedAt = world.simSeconds();
    auto klmPlaced = [&] {
        const auto now = lf_occupiedStands(stands);
        return now.contains(klmStand.name) && now.at(klmStand.name) == std::vector<std::string>{"KLM1007*"};
    };
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "Heathrow, a week later", einStand.name);
            return !klmPlaced() && world.simSeconds() < restartedAt + 120.0;
        },
        150s);
    // Two plan adjustments more: the stand under the user stays empty.
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 62.0)) << world.logText();
    log = world.logText();
    const auto week2 = lf_expectStandsShared(stands, "Heathrow, a week later", einStand.name);
    EXPECT_TRUE(klmPlaced()) << ::testing::PrintToString(week2) << "\n" << log;
    EXPECT_FALSE(week2.contains(einStand.name)) << ::testing::PrintToString(week2);
    for (const auto& c : simstandin::sim().creations())
        if (c.frame > restartFrame) {
            EXPECT_NE(c.tail, "EIN154*") << "planned onto the user's stand\n" << log;
        }

    // BAW418 of the next week taxis to stand 408, where KLM1007* stands.
    const auto baw = lf_track("4007f1", "BAW418", "G-EUXC", "A321", 0.0, lf_arrivalTo(klmStand), 400.0);
    tvxstandin::TrafficScenario arrival = nextWeek;
    arrival.tracks = {baw};
    const double shift = world.scenarioSecond() - kShiftSeconds;
    for (auto& point : arrival.tracks.front().points)
        point.t += shift;
    const double arrivalAt = world.simSeconds();
    world.traffic().replaceScenario(arrival);
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "Heathrow, BAW418", einStand.name);
            return !lf_arrivals(world.logText()).contains("BAW418") && world.simSeconds() < arrivalAt + 300.0;
        },
        200s);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 3.0)) << world.logText();
    log = world.logText();
    const auto last = lf_expectStandsShared(stands, "Heathrow, BAW418 parked", einStand.name);
    EXPECT_TRUE(last.contains(klmStand.name) && last.at(klmStand.name) == std::vector<std::string>{"BAW418"})
        << ::testing::PrintToString(last) << "\n" << log;
    // It comes within the two half spans (x 1.1) of the stand before it is slow and close enough to
    // claim it: the taxiing aircraft's rule removes KLM1007*, not the claim.
    EXPECT_TRUE(gf_removedByProgram("KLM1007*")) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(klmStand.name + ": KLM1007\\*\\s+removed for collision avoidance "
                                                                   "with live BAW418")))
        << log;

    // The user taxis onto stand 402, where the parked KLM1003* stands: KLM1003* is removed as soon as
    // the program has the user's new position (asked every second) and looks (every second), and
    // the plan's adjustments put nothing on the stand under the user.
    const auto klm1003 = gf_objectOfTail("KLM1003*");
    ASSERT_TRUE(klm1003) << log;
    simstandin::sim().moveUser(witness.lat, witness.lon, kHeathrowFt);
    const double movedAt = world.simSeconds();
    ASSERT_TRUE(world.stepWhile([&] { return gf_objectOfTail("KLM1003*") && world.simSeconds() < movedAt + 3.0; },
                                60s));
    EXPECT_FALSE(gf_objectOfTail("KLM1003*")) << "still at the user's stand 3 s after the user came\n"
                                              << world.logText();
    const auto removals = simstandin::sim().removals();
    EXPECT_TRUE(std::any_of(removals.begin(), removals.end(),
                            [&](const auto& r) { return r.objectId == klm1003->id && r.packet != 0; }));
    world.stepWhile(
        [&] {
            ++samples;
            lf_expectStandsShared(stands, "Heathrow, the user at 402", witness.name);
            return world.simSeconds() < movedAt + 62.0;
        },
        150s);
    EXPECT_EQ(userStandName(), witness.name);

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    EXPECT_EQ(gf_errorLines(world.logText()), std::vector<std::string>{});
    std::printf("Heathrow: week 1 %zu arrivals parked, %zu stands occupied, SAS4601 removed %.1f m from the user; a "
                "week later %zu stands occupied; stands looked at %zu times\n",
                parkedAt.size(), week1.size(), sasFromUser, week2.size(), samples);
}

}  // namespace
