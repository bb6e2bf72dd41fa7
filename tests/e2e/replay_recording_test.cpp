// The shortest real recording of ../shared/testdata/adsb_tracks (one aircraft at Zurich, once a
// second: taxi, take-off without ground speed in the feed, climb) replayed through scripts/replay,
// the same road as the README's figures: the program's own main loop against the stand-in
// simulator and traffic service in lockstep, every position write measured against the recording.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct Figures {
    int aircraft = -1;
    double airMax = -1, airMedian = -1, groundMax = -1, groundMedian = -1, altMax = -1;
    int stuck = -1, jumps = -1;
};

// The replay's last line: "replay: N aircraft, air max A m (median a), ground max G m (median g),
// altitude max V ft, stuck S, jumps J".
bool lf_parseSummary(const std::string& text, Figures& f)
{
    const auto at = text.rfind("replay: ");
    if (at == std::string::npos)
        return false;
    return std::sscanf(text.c_str() + at,
                       "replay: %d aircraft, air max %lf m (median %lf), ground max %lf m (median %lf), "
                       "altitude max %lf ft, stuck %d, jumps %d",
                       &f.aircraft, &f.airMax, &f.airMedian, &f.groundMax, &f.groundMedian, &f.altMax, &f.stuck,
                       &f.jumps) == 8;
}

}  // namespace

TEST(E2eReplay, RealTakeOffRecordingStaysWithTheRecordedAircraft)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "TAVIX_SOURCE_DIR not set";
    const fs::path recording = fs::path(source) / ".." / "shared" / "testdata" / "adsb_tracks" / "noisy_takeoff.json.gz";
    if (!fs::exists(recording))
        GTEST_SKIP() << "recorded tracks not found beside the project (../shared/testdata/adsb_tracks)";
    // The build folder holds this program in tests/ and the replay driver in standins/replay/.
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    if (!fs::exists(build / "standins" / "replay" / "tavix-replay"))
        GTEST_SKIP() << "tavix-replay not built in " << build;
    if (std::system("python3 -c '' > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 not found";

    tvxtest::TempFolder work;
    const fs::path out = work / "replay.txt";
    const std::string cmd = "TAVIX_BUILD_DIR='" + build.string() + "' python3 '" + source + "/scripts/replay' '" +
                            recording.string() + "' --no-build --work '" + (work / "run").string() + "' > '" +
                            out.string() + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << tvxtest::readFile(out);
    const std::string text = tvxtest::readFile(out);
    Figures f;
    ASSERT_TRUE(lf_parseSummary(text, f)) << text;

    // One aircraft, taxiing, taking off and climbing with the recording: before the motion fixes
    // it stood on the taxiway for ever (air 60894 m, ground 464 m off, 36033 ft, stuck); with
    // play-out counted from the batch's median instead of each record's age it ran 1-2 s behind
    // (air 268 m, median 36 m, ground median 14 m).
    EXPECT_EQ(f.aircraft, 1) << text;
    EXPECT_LT(f.airMax, 150.0) << text;
    EXPECT_LT(f.airMedian, 15.0) << text;
    EXPECT_LT(f.groundMax, 180.0) << text;
    EXPECT_LT(f.groundMedian, 12.0) << text;
    EXPECT_LT(f.altMax, 1000.0) << text;
    EXPECT_EQ(f.stuck, 0) << text;
    EXPECT_EQ(f.jumps, 0) << text;
}
