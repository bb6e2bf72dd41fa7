// The shortest real recording of ../shared/testdata/adsb_tracks (one aircraft at Zurich, once a
// second: taxi, take-off without ground speed in the feed, climb) replayed through scripts/replay,
// the same road as the README's figures: the program's own main loop against the stand-in
// simulator and traffic service in lockstep, every position write measured against the recording.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/e2e_checks.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct Figures {
    int created = -1, aircraft = -1;
    // Maxima over each aircraft's whole life, and after its first 30 s (created, taking up its track).
    double airP99 = -1, airMax = -1, airSettled = -1, airMedian = -1;
    double groundP99 = -1, groundMax = -1, groundSettled = -1, groundMedian = -1, altMax = -1;
    int verticalJumps = -1, stuck = -1, jumps = -1;
    double staleOut = -1, positionOut = -1, altitudeOut = -1;
    double gapSeconds = -1, gapMax = -1;
    int gapWrites = -1;
    int objects = -1;  // simulator objects measured: one aircraft removed and created again counts twice
    std::string text;  // the replay's output, for the failure messages
    std::string skip;  // why the replay cannot run here; empty when it ran
};

// The replay's last line (see scripts/replay), over each aircraft's whole life.
bool lf_parseSummary(const std::string& text, Figures& f)
{
    const auto at = text.rfind("replay: ");
    if (at == std::string::npos)
        return false;
    return std::sscanf(text.c_str() + at,
                       "replay: created %d of %d tracks, air p99 %lf m, max %lf m (%lf m after each aircraft's "
                       "first 30 s, median %lf), ground p99 %lf m, max %lf m (%lf m after each aircraft's first 30 s, "
                       "median %lf), altitude max %lf ft, vertical jumps %d, stuck %d, jumps %d; left out as "
                       "recording faults: stale %lf s, position %lf s, altitude %lf s; apart, %d writes in recording "
                       "gaps over 30 s (%lf s), max %lf m",
                       &f.created, &f.aircraft, &f.airP99, &f.airMax, &f.airSettled, &f.airMedian, &f.groundP99,
                       &f.groundMax, &f.groundSettled, &f.groundMedian, &f.altMax, &f.verticalJumps, &f.stuck,
                       &f.jumps, &f.staleOut, &f.positionOut, &f.altitudeOut, &f.gapWrites, &f.gapSeconds,
                       &f.gapMax) == 20;
}

// Replays ../shared/testdata/adsb_tracks/NAME through scripts/replay with the extra arguments; empty
// when it ran (its output in text), else why it cannot run here.
std::string lf_replay(const std::string& name, std::string& text, const std::string& args = {})
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const fs::path recording =
        source ? fs::path(source) / ".." / "shared" / "testdata" / "adsb_tracks" / name : fs::path();
    tvxtest::TempFolder work;
    tvxtest::ReplayRun run = tvxtest::runReplayScript(recording, args, work.path());
    text = std::move(run.text);
    return run.skip;
}

// The figures of one replay (see lf_replay); a replay without its last line fails the test.
Figures lf_replayFigures(const std::string& name, const std::string& args = {})
{
    Figures f;
    f.skip = lf_replay(name, f.text, args);
    if (f.skip.empty() && !lf_parseSummary(f.text, f))
        ADD_FAILURE() << "no summary line in the replay's output:\n" << f.text;
    // The table closes each object's rows with "N writes, M compared".
    f.objects = 0;
    for (auto at = f.text.find(" writes, "); at != std::string::npos; at = f.text.find(" writes, ", at + 1))
        ++f.objects;
    return f;
}

// What every replay of one real aircraft must show: that one aircraft, created, never jumping
// (sideways or up and down), never stuck.
void lf_expectOneSteadyAircraft(const Figures& f)
{
    EXPECT_EQ(f.aircraft, 1) << f.text;
    EXPECT_EQ(f.created, 1) << f.text;
    EXPECT_EQ(f.stuck, 0) << f.text;
    EXPECT_EQ(f.jumps, 0) << f.text;
    EXPECT_EQ(f.verticalJumps, 0) << f.text;
}

}  // namespace

// The distance maxima below are those after each aircraft's first 30 s: an aircraft created in the
// air is placed where its records were when its creation was asked for and catches up in its first
// seconds, 100-400 m behind (the whole life's maximum, on the same line).
TEST(E2eReplay, RealTakeOffRecordingStaysWithTheRecordedAircraft)
{
    const Figures f = lf_replayFigures("noisy_takeoff.json.gz");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);

    // One aircraft, taxiing, taking off and climbing with the recording: before the motion fixes
    // it stood on the taxiway for ever (air 60894 m, ground 464 m off, 36033 ft, stuck); with
    // play-out counted from the batch's median instead of each record's age it ran 1-2 s behind
    // (air 268 m, median 36 m, ground median 14 m). The recording's own faults (positions repeated
    // or thrown off during the taxi, altitudes 200-900 ft off from one record to the next in the
    // climb, a second apart) are left out of the figures: 34 s of the distances and 501 s of the
    // altitudes of its 782 s, no more (418 s while a ground row was taken at its own altitude: the
    // taxi's flying rows at 36,000 ft ended at a ground row repeating it; a ground row is now
    // judged at the field, as the program judges a record beside the ground). The whole taxi counts since the aircraft waits through gaps in its fixes
    // longer than the play-out delay instead of being removed there (before, only its first 60 s
    // were measured); behind after such a wait it catches up at 10 kt more than its taxi speed
    // (at 1.2 times a taxi speed of a few knots it ran 17-43 m behind for a minute: median 17 m).
    // The replay's user aircraft takes no part (it stands at the field's reference point, by runway
    // 28 at LSZH, where its collision rule removed the aircraft on its take-off roll and it came
    // back in the climb 33 s later): the roll and the climb-out count whole. The largest altitude
    // difference is the lift-off's (see below); a row 300 ft below the row a second before it in
    // the climb (18,000 ft/min) gave 334 ft while the measure took only steps of more than 300 ft
    // for the recording's.
    EXPECT_LT(f.airSettled, 100.0) << f.text;
    EXPECT_LT(f.airMedian, 10.0) << f.text;
    EXPECT_LT(f.groundSettled, 120.0) << f.text;
    EXPECT_LT(f.groundMedian, 8.0) << f.text;
    // Altitude: rows 150-400 ft under the climb, several in a row, each a flying record's altitude
    // before (231 ft; 187 ft with those rows measured at their neighbours' line); now the rows of
    // the last 8 s give it (150 ft).
    EXPECT_LT(f.altMax, 170.0) << f.text;
    EXPECT_EQ(f.staleOut, 0.0) << f.text;
    EXPECT_LT(f.positionOut, 60.0) << f.text;
    EXPECT_LT(f.altitudeOut, 520.0) << f.text;
}

// Zurich's take-off alone (100 s around it): the aircraft leaves the ground at its last ground fix
// and climbs onto the recorded profile. Before, its rotation began only at that fix (the wheels
// left 2 s later, 4 s after the recording's first flying row) and the climb's build-up after the
// lift-off (a tenth, a fifth, a half of the step for a second each) left every leg short of its
// record: 366 ft below the recording 4 s after the lift-off. What is left (292 ft, 2-3 s after the
// lift-off) is the recording's: its ground rows read 1,525-1,625 ft at the 1,417 ft field, and its
// first flying fix the program hears lies 300 ft above the field 1.7 s after the last ground fix.
TEST(E2eReplay, RealLiftOffLeavesTheGroundAtTheLastGroundFix)
{
    const Figures f = lf_replayFigures("noisy_takeoff.json.gz", "--from 200 --to 300");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.altMax, 320.0) << f.text;
    EXPECT_LT(f.airSettled, 50.0) << f.text;
}

// The same road with the real taxi and climb out of Zurich whose climb brings altitudes 850-1600 ft
// off for single records: the aircraft follows the climb, not them (it was drawn down 960 ft by a
// record 1175 ft low 2.4 s after the last, while 1000 ft more than 8,000 ft/min were allowed).
// Its taxi fixes lie up to 51 s apart, longer than the play-out delay: the aircraft waits at the
// last one and taxis on when the next comes (it was removed there, 41 s and 250 m on, and came back
// only in the air three minutes later, so neither that taxi nor the take-off was measured). While
// it waits for a fix that comes later than the delay it falls behind the straight line between
// the fixes (165 m in a 51 s gap). Its lift-off, like the take-off recording's, was 316 ft below
// the recording 6 s after the last ground fix while the rotation began only there; now 179 ft.
// A row in the climb 225 ft below the row before it and 300 ft below the row after it, a second
// apart each, gave 253 ft while the measure took only steps of more than 300 ft for the
// recording's.
TEST(E2eReplay, RealGroundRecordingClimbsWithoutFollowingBrokenAltitudes)
{
    const Figures f = lf_replayFigures("noisy_ground.json.gz");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_EQ(f.objects, 1) << f.text;
    // A row 225 ft under the climb taken as a record drew the aircraft down (263 ft with the rows
    // off their neighbours' line measured at it; 199 ft before that); now 138 ft.
    EXPECT_LT(f.altMax, 160.0) << f.text;
    EXPECT_LT(f.airSettled, 100.0) << f.text;
    EXPECT_LT(f.groundSettled, 200.0) << f.text;
    // 300 s: 211 s while a ground row repeating a flying row's 38,000 ft ended its span.
    EXPECT_LT(f.altitudeOut, 320.0) << f.text;
}

// The take-off of a readsb trace at Minneapolis whose speeds trail its positions on the roll (a
// fix repeats the velocity of the one before: 75 kt twice while the positions give 94 kt and
// more): the aircraft keeps pace with the positions instead of the 1.2 times the trailing speed
// that a leg may catch up at. It ended its roll 1.1 s late before (air max 87 m, where the trace
// already calls the aircraft airborne). Across the 35 s gap where it turns onto the runway the
// fixes speed up from 10 to 45 kt: the curve through the turn passes the fix on the runway at its
// time (44 m ahead of it before, at an even pace along the curve). What remains (29 m) is the wait
// at the last fix before the gap, while nothing later is known.
TEST(E2eReplay, RealTakeOffRollKeepsPaceWithATraceWhoseSpeedsTrail)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 23300 --to 23500 --airport 44.8820,-93.2218,841");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.airSettled, 40.0) << f.text;
    EXPECT_LT(f.groundSettled, 35.0) << f.text;
    EXPECT_EQ(f.positionOut, 0.0) << f.text;
    // The trace's pressure altitudes lie about 600 ft under the 841 ft field at lift-off (250 ft):
    // the aircraft climbs from the runway, never under it (it sank 384 ft below the field before).
    EXPECT_LT(f.altMax, 100.0) << f.text;
}

// The trace's line-up at Minneapolis: the aircraft creeps onto the runway at 2-3 kt with a fix
// every 1-2 s, each within the jitter distance of the last record, then stands there for minutes.
// Taken as jitter, each fix became a stop at the first, and the aircraft stood 16 m short of where
// the real one stood. The feed's own speed and the step it gives tell the creep from jitter.
TEST(E2eReplay, RealCreepOntoTheRunwayIsFollowed)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 75380 --to 75560 --airport 44.8820,-93.2218,841");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.groundSettled, 8.0) << f.text;
    EXPECT_LT(f.groundMedian, 5.0) << f.text;
}

// A touch-and-go at Heathrow out of a recording resampled every 5 s whose positions trail the
// recorded speed for 15 s (150 m steps at 116 kt) and then jump 753 m: the aircraft rejoins the
// settled track within seconds at up to 40 kt above the recorded speed (at 1.2 times it was still
// 251 m behind after the left-out window), without a jump, and climbs from 0 ft recorded at the
// 83 ft field from the field.
TEST(E2eReplay, RealTouchAndGoRejoinsTheTrackAfterAPositionJump)
{
    const Figures f = lf_replayFigures("london_heathrow.json.gz", "--type B350 --from 5150 --to 5500");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.airSettled, 150.0) << f.text;
    EXPECT_LT(f.altMax, 100.0) << f.text;
}

// The real approach into Zurich whose repeated positions bring altitudes of their own, one of them
// 525 ft above the descent a second after the last good one: swallowed, where six seconds after the
// last record taken (the others being too close to it) it passed for a steep climb and the aircraft
// rose 459 ft above the recording. A row 300 ft below the row 0.9 s before it is the recording's
// (306 ft while the measure took only steps of more than 300 ft for the recording's).
// The aircraft is in the feed when the program starts, so its first records come through the
// service's history buffers: each buffer played out its own delay (0 to 24 s) after the buffer's
// median, a snapshot's records 24 s after it, 6 s early against the live 30 s (air p99 73 m and
// max 459 m in its first seconds, 29 m after them). Now they keep the live delay from the first.
TEST(E2eReplay, RealApproachDoesNotClimbToABrokenAltitudeOfARepeatedPosition)
{
    const Figures f = lf_replayFigures("noisy_landing.json.gz");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    // Rows jittering 100-250 ft from one second to the next on the descent, one of them a record's
    // altitude: 227 ft before; 144 ft with the rows of the last 8 s.
    EXPECT_LT(f.altMax, 170.0) << f.text;
    EXPECT_LT(f.airP99, 50.0) << f.text;
    EXPECT_LT(f.airMax, 50.0) << f.text;
}

// The readsb trace's arrival into Denver from 126 nm: the traffic query is a box, so its first
// fixes come from its corner, 115 nm away, beyond the 105 nm radius in which the program finds its
// new objects. The aircraft was created there and never found: no position write for the whole
// approach, the object standing where it was created, the aircraft neither moved nor removed.
// Now it is created when its fixes come within the query range, and flies the approach.
TEST(E2eReplay, RealArrivalFromTheCornerOfTheQueryBoxIsFlown)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 80000 --to 80500 --airport KDEN");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_EQ(f.text.find("never in the simulator"), std::string::npos) << f.text;
    EXPECT_EQ(f.objects, 1) << f.text;
    EXPECT_LT(f.airSettled, 50.0) << f.text;
    EXPECT_GT(f.airMedian, 0.0) << f.text;
    EXPECT_LT(f.altMax, 100.0) << f.text;
}

// The trace's arrival at Minneapolis, whose pressure altitudes on final lie 650 ft under the 841 ft
// field: the aircraft flies above the field, not on its wheels, until its fixes touch down. Held
// at the field plus its height on its wheels, it was on the ground for the simulator 2.5 nm short
// of the runway, and rolled out and taxied as a take-off roll: at the fixes' taxi speed of 0.1 kt
// after a stop it crept 84 m behind its last fixes.
TEST(E2eReplay, RealArrivalBelowTheFieldTouchesDownOnTheRunwayAndTaxiesIn)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 14200 --to 14494 --airport 44.8820,-93.2218,841");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_EQ(f.objects, 1) << f.text;
    EXPECT_LT(f.groundSettled, 30.0) << f.text;
    EXPECT_LT(f.airSettled, 50.0) << f.text;
    EXPECT_LT(f.altMax, 100.0) << f.text;
}

// The trace's taxi-in at Minneapolis turns 100 degrees off the runway at 10-15 kt with a fix every
// second: the aircraft follows the turn. The roll-out's course check judged each new fix against
// the aircraft's heading, still on the runway the play-out delay behind: the turn's fixes lay
// 90 degrees off it and were dropped, and the aircraft ran straight across the turn, 49 m off it.
// Where the fixes slow from 30 to 15 kt across a 6 s gap, the curve passes the fix in its corner at
// its time: at an even pace along the curve the aircraft fell to 13 kt there and raced after (18 m).
TEST(E2eReplay, RealTurnOffTheRunwayIsTaxiedAlongItsFixes)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 71100 --to 71372 --airport 44.8820,-93.2218,841");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.groundSettled, 15.0) << f.text;
    EXPECT_LT(f.airSettled, 50.0) << f.text;
}

// The trace's climb out of Spokane has a 36 s gap in its fixes at 25,000 ft. Through a gap the
// aircraft flies on along extension records: they held its altitude and slowed it by a twentieth,
// so it levelled off and came out of the gap 194 ft under the climb and 108 m behind.
TEST(E2eReplay, RealClimbFliesOnThroughAGapInTheFixes)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 63560 --to 63700 --airport 47.49,-116.45,1000");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_EQ(f.objects, 1) << f.text;
    EXPECT_LT(f.airSettled, 100.0) << f.text;
    EXPECT_LT(f.altMax, 100.0) << f.text;
}

// At cruise over the Gulf the trace gives one fix 3 km behind the aircraft's steady 480 kt (two
// rows at one time, both behind), the next one 700 kt ahead of it. Flown to, the fix slowed the
// aircraft to two thirds of its speed; it came out of the left-out seconds 327 m behind.
TEST(E2eReplay, RealCruiseIgnoresAFixThrownBehindTheAircraft)
{
    const Figures f =
        lf_replayFigures("trace_full_ac671b.json.gz", "--from 5200 --to 5500 --airport 27.55,-93.15,1000");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_EQ(f.objects, 1) << f.text;
    EXPECT_LT(f.airSettled, 50.0) << f.text;
}

// The B350 of the London recording is first heard just after its lift-off at Southend, at 75 ft,
// climbing 15 ft a second. Where the simulator's ground at that point lies above the recorded
// altitude (here the place's 90 ft) the new object stands on its wheels there; taken as a
// touch-down, the aircraft stood on the ground for its first leg (10 s, at 98 ft) and then rolled
// into a take-off while its records climbed away: 134 ft below them. Raised to the ground, it
// climbs on with its records.
TEST(E2eReplay, RealCreationJustAfterTheLiftOffClimbsWithItsRecords)
{
    const Figures f =
        lf_replayFigures("london_heathrow.json.gz", "--type B350 --to 150 --airport 51.5650,0.6812,90");
    if (!f.skip.empty())
        GTEST_SKIP() << f.skip;
    lf_expectOneSteadyAircraft(f);
    EXPECT_LT(f.altMax, 50.0) << f.text;
}
