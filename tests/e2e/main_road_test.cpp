// The program's main job from end to end: the demo's Keflavik traffic (standins/scenarios) from
// the traffic stand-in into the stand-in simulator, in lockstep, through the program's own
// start-up, main loop and exit, as a user runs it, with a lateral range of 5 nm. The run covers
// scenario seconds 270..375: aircraft taxiing, landing, taking off, parked, one leaving the query
// range (EZY210, climbing out), one leaving the feed (NAX664, its track cut on the approach), heavy
// types without an installed livery and the Wizz Air A320 livery that the simulator refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_world.h"
#include "foundation/format.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "simconnect/standin_sim.h"

namespace {

using namespace std::chrono_literals;
using namespace tvxtest;

constexpr double kReplayStart = 270.0;
// NAX664's feed ends on its approach at 300: its last record plays 60 s into the replay, the
// program flies it on for 8 × 8 s (it is inside the range) and then removes it.
constexpr double kRunSeconds = 135.0;  // of the replay
constexpr double kCutAt = 300.0;
constexpr double kRangeNm = 5.0;
const std::string kLeavesFeed = "NAX664";
const std::string kLeavesRange = "EZY210";  // climbing out of the 5 nm box at feed second 333

TEST(E2eMainRoad, FeedAircraftAreCreatedMovedRemovedAndAllGoneAtExit)
{
    E2eSetup setup;
    setup.replayStart = kReplayStart;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}};
    // The live road alone: with no park airport in sight the aircraft at the gates are live traffic
    // (parked traffic has its own runs in parked_week_test.cpp).
    setup.editDownloadTree = [](const std::filesystem::path& tree) { gf_dropFromAirportList(tree, "BIKF"); };
    setup.editScenario = [](tvxstandin::TrafficScenario& scenario) {
        for (auto& track : scenario.tracks)
            if (track.callsign == kLeavesFeed)
                std::erase_if(track.points, [](const auto& p) { return p.t > kCutAt; });
    };
    E2eWorld world(setup);
    world.start();
    ASSERT_TRUE(world.runUntilScenarioSecond(kReplayStart + kRunSeconds, 150s)) << world.logText();

    const auto created = gf_createdObjects();
    ASSERT_FALSE(created.empty()) << world.logText();

    // Created with the livery the match order gives and the callsign as tail number.
    for (const auto& [id, c] : created) {
        const auto* track = world.trackOfCallsign(c.tail);
        ASSERT_NE(track, nullptr) << "object " << id << " tail \"" << c.tail << "\" is no callsign of the feed";
        const std::string expected = gf_expectedTitle(world, *track);
        if (expected == "any") {
            EXPECT_NE(std::find(world.installedTitles().begin(), world.installedTitles().end(), c.title),
                      world.installedTitles().end()) << c.tail << " " << c.title;
            const auto refused = world.refusedTitles();
            EXPECT_EQ(std::count(refused.begin(), refused.end(), c.title), 0) << c.tail;
        } else {
            EXPECT_EQ(c.title, expected) << c.tail << " " << track->type;
        }
    }
    // Every aircraft of a type with an installed livery that was in the feed long enough is there.
    for (const std::string& callsign : gf_expectedCreations(world, world.simSeconds(), kRangeNm))
        EXPECT_TRUE(gf_objectOfTail(callsign).has_value() || gf_wasCreated(callsign)) << callsign << " not created";
    // The refused livery: refused once per aircraft, then that aircraft is created with the next one.
    std::set<std::string> refusedTails;
    for (const auto& c : simstandin::sim().creations()) {
        if (c.outcome != simstandin::CreationRec::Refused)
            continue;
        EXPECT_TRUE(refusedTails.insert(c.tail).second) << c.tail << " refused twice";
        EXPECT_EQ(c.title, "Tavix Demo A320 Wizz Air");
        EXPECT_NE(world.logText().find(c.tail + " \"Tavix Demo A320 Wizz Air\" could not be created by your Sim!"),
                  std::string::npos);
    }
    EXPECT_FALSE(refusedTails.empty()) << "the scenario's Wizz Air A320s were not offered to the simulator";

    // Positions follow the feed 30 seconds later.
    const auto deviations = gf_largestDeviations(world);
    for (std::size_t k = 0; k < deviations.size(); ++k) {
        const Deviation& d = deviations[k];
        std::printf("largest distance from the feed 30 s earlier, %s: %.1f m (%s at feed second %.1f, %zu samples)\n",
                    gf_motionKindName(static_cast<MotionKind>(k)), d.metres, d.callsign.c_str(), d.feedSecond,
                    d.samples);
        EXPECT_GT(d.samples, 100u) << gf_motionKindName(static_cast<MotionKind>(k));
        EXPECT_LT(d.metres, kMaxDeviationMetres[k]) << d.callsign << " at feed second " << d.feedSecond;
    }

    // Leaving the range and leaving the feed both end the aircraft while the program runs.
    for (const std::string& callsign : {kLeavesFeed, kLeavesRange}) {
        EXPECT_TRUE(gf_wasCreated(callsign)) << callsign;
        EXPECT_FALSE(gf_objectOfTail(callsign).has_value()) << callsign << " still in the simulator";
        EXPECT_TRUE(gf_removedByProgram(callsign)) << callsign;
    }

    // The user closes the window: every object the program created is removed, nothing is left
    // in the queues, and the log tells the story.
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    const std::string log = world.logText();
    for (const char* line : {"Tavix version", "MSFS 2020 (11.0.282174.999) connected",
                             "traffic service: logged in, professional licence",
                             "Livery scan: 4 aircraft.cfg files in 4 packages, 13 liveries", "Exiting: USER CLOSED SIM",
                             "No match found for: ", "BAW A388 G-XLEE", "MSFS 2020 Community folder: ",
                             "Registration pack TF.xml: 20 entries", "registration codes 1 installed"})
        EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << "\n" << log;
    // Every data pack the start-up asks for is on the server.
    EXPECT_EQ(log.find("failed to download"), std::string::npos) << log;
    EXPECT_EQ(log.find("download of "), std::string::npos) << log;
    EXPECT_EQ(gf_errorLines(log), std::vector<std::string>{}) << log;
    EXPECT_EQ(simstandin::sim().takeUnexpectedViolations(), std::vector<std::string>{});
}

// The user's live-aircraft limit holds at every moment: an aircraft counts from its creation
// request until it is removed, also while the simulator creates it and its lights come on (before,
// those seconds went uncounted and 3 allowed became 5-6 objects). A closer newcomer makes the
// farthest leave.
TEST(E2eMainRoad, TheLiveLimitHoldsWhileAircraftAreCreated)
{
    constexpr int kMaxLive = 3;
    E2eSetup setup;
    setup.replayStart = kReplayStart;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}, {"MAX_LIVE", std::to_string(kMaxLive)}};
    setup.editDownloadTree = [](const std::filesystem::path& tree) { gf_dropFromAirportList(tree, "BIKF"); };
    E2eWorld world(setup);
    world.start();
    std::size_t most = 0;
    double mostAt = 0.0;
    for (double second = kReplayStart + 1.0; second <= kReplayStart + kRunSeconds; second += 1.0) {
        ASSERT_TRUE(world.runUntilScenarioSecond(second, 60s)) << world.logText();
        const auto objects = simstandin::sim().objects();
        const auto own = static_cast<std::size_t>(
            std::count_if(objects.begin(), objects.end(), [](const auto& o) { return o.own; }));
        if (own > most) {
            most = own;
            mostAt = second;
        }
    }
    EXPECT_EQ(most, static_cast<std::size_t>(kMaxLive)) << "at feed second " << mostAt << "\n" << world.logText();
    EXPECT_GT(gf_createdObjects().size(), static_cast<std::size_t>(kMaxLive)) << "no newcomer made room";
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
}

// The same road with Keflavik as the park airport: the user aircraft stands at a gate, so BIKF
// becomes the park airport, its stock parking file is read, the static plan is built and adjusted,
// and the live aircraft at the gates are recorded in its schedules. The schedule clock of the run is
// the wall clock's weekday and half-hour: the plan's clock lines say so, and so do the sightings
// saved in the learned file at the exit. The user starts the program from a loaded flight, so the
// first traffic (with the history buffers) is in before the park airport's plan is built: the
// aircraft at the gates are live aircraft, not static ones.
TEST(E2eMainRoad, AtTheParkAirportTheScheduleClockIsTheWallClock)
{
    E2eSetup setup;
    setup.replayStart = kReplayStart;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}};
    setup.flightLoaded = true;
    E2eWorld world(setup);
    const DaySlot before = gf_daySlotOf(gf_utcNowSeconds());
    world.start();
    // Until a live aircraft has parked at a gate (its sighting recorded) and the plan, built once
    // the service's parked list is in, has read the schedule clock.
    ASSERT_TRUE(world.runUntilSimSecond(20.0, 120s)) << world.logText();
    world.stepWhile(
        [&] {
            const std::string log = world.logText();
            return (log.find(" parks\n") == std::string::npos || log.find("(utc) It is day") == std::string::npos)
                   && world.simSeconds() < 130.0;
        },
        150s);
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    const DaySlot after = gf_daySlotOf(gf_utcNowSeconds());

    // The run may cross a half-hour: each stamp lies between the two readings of the clock.
    const std::set<std::pair<std::uint32_t, std::uint32_t>> runStamps = {
        {gf_weekdayOf(before), gf_slotOf(before)}, {gf_weekdayOf(after), gf_slotOf(after)}};
    const std::string log = world.logText();
    ASSERT_NE(log.find("The park airport is BIKF (KEF)"), std::string::npos) << log;

    const std::regex clockLine(R"(\(utc\) It is day (\d+) \(([A-Za-z ]+)\), ([0-9.]+) hours)");
    std::size_t clockLines = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), clockLine); it != std::sregex_iterator(); ++it) {
        ++clockLines;
        const std::string text = it->str();
        bool ofTheRun = false;
        for (const auto& [day, slot] : runStamps)
            ofTheRun = ofTheRun || text == tvx::format("(utc) It is day {} ({}), {} hours", day, gf_dayName(day),
                                                       gf_numberText(slot * 0.5 + 0.5));
        EXPECT_TRUE(ofTheRun) << text;
    }
    EXPECT_GE(clockLines, 1u) << log;

    // Sightings of the live aircraft at the gates, saved at the exit.
    std::ifstream learned(world.folder() / "airports" / "learned" / "stock" / "BIKF.xml");
    ASSERT_TRUE(learned.is_open()) << log;
    std::stringstream learnedText;
    learnedText << learned.rdbuf();
    const std::string xml = learnedText.str();
    const std::regex option(R"re(<opt [^>]*day="(\d+)" hh="([0-9,]*)" cs="([A-Z0-9]+)")re");
    std::size_t sightings = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), option); it != std::sregex_iterator(); ++it) {
        ++sightings;
        const auto day = static_cast<std::uint32_t>(std::stoul((*it)[1].str()));
        const SlotSet slots = lf_hours2bitset((*it)[2].str());
        EXPECT_TRUE(slots.any()) << it->str();
        for (std::uint32_t slot = 0; slot < 48; ++slot) {
            if (slots.test(slot)) {
                EXPECT_TRUE(runStamps.contains({day, slot})) << it->str();
            }
        }
    }
    EXPECT_GE(sightings, 1u) << xml;
}

}  // namespace
