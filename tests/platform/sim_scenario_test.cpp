// The demo's scenario file for the stand-in simulator: the defaults without a file, every member,
// and clear errors for malformed files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "support/sim_probe.h"
#include "support/temp_folder.h"

using namespace simstandin;
using tvxtest::SimProbe;

namespace {

class SimScenario : public tvxtest::SimWorldTest {
protected:
    void TearDown() override
    {
        unsetenv("TAVIX_SIM_SCENARIO");
        unsetenv("TAVIX_SIM_TRACE_DIR");
        tvxtest::SimWorldTest::TearDown();
    }
    tvxtest::TempFolder tmp;
};

}  // namespace

TEST_F(SimScenario, DefaultsWithoutAFile)
{
    unsetenv("TAVIX_SIM_SCENARIO");
    sim().resetForDemo();
    const Config c = sim().config();
    EXPECT_EQ(c.mode, Mode::FreeRunning);
    EXPECT_FLOAT_EQ(c.fps, 30.0f);
    EXPECT_EQ(c.appName, "KittyHawk");
    EXPECT_EQ(c.appVersion, (std::array<std::uint32_t, 4>{1, 0, 0, 0}));
    EXPECT_TRUE(c.acceptAnyTitle);
    const UserAc u = sim().user();
    EXPECT_DOUBLE_EQ(u.pos.latDeg, 50.0333);
    EXPECT_DOUBLE_EQ(u.pos.lonDeg, 8.5706);
    EXPECT_TRUE(u.onGround);
    // The flight starts after 5 sim seconds: frame 150 at 30 fps.
    EXPECT_FALSE(sim().flightRunning());
    sim().advance(149);
    EXPECT_FALSE(sim().flightRunning());
    sim().advance(1);
    EXPECT_TRUE(sim().flightRunning());
}

TEST_F(SimScenario, EveryMember)
{
    tvxtest::writeFile(tmp / "s.json", R"({
      "app": {"name": "SunRise", "version": "1.2.3.4"},
      "fps": 25,
      "flight": "running",
      "user": {"lat": 47.46, "lon": 8.55, "altFt": 1400, "headingDeg": 90, "onGround": false,
               "title": "My Plane", "model": "B738", "atcId": "HB-ABC"},
      "userPath": [{"lat": 47.0, "lon": 8.0, "altFt": 1000, "seconds": 0},
                   {"lat": 48.0, "lon": 8.0, "altFt": 3000, "seconds": 10}],
      "terrainFt": 1300,
      "titles": ["Plain Title", {"title": "Heli Title", "cgFt": 4.5, "pitchRad": 0.01,
                                 "type": "helicopter", "model": "EC35"}],
      "refused": ["Plain Title"],
      "failures": {"opens": 1, "quitAfterSeconds": 20}
    })");
    sim().loadScenario((tmp / "s.json").string());
    const Config c = sim().config();
    EXPECT_EQ(c.appName, "SunRise");
    EXPECT_EQ(c.appVersion, (std::array<std::uint32_t, 4>{1, 2, 3, 4}));
    EXPECT_FLOAT_EQ(c.fps, 25.0f);
    EXPECT_FALSE(c.acceptAnyTitle);
    EXPECT_TRUE(sim().flightRunning());
    UserAc u = sim().user();
    EXPECT_EQ(u.title, "My Plane");
    EXPECT_EQ(u.atcModel, "B738");
    EXPECT_EQ(u.atcId, "HB-ABC");
    EXPECT_FALSE(u.onGround);
    EXPECT_NEAR(u.headingRad, 3.14159265358979 / 2, 1e-9);
    // Halfway along the path after 5 s (125 frames at 25 fps).
    sim().advance(125);
    u = sim().user();
    EXPECT_NEAR(u.pos.latDeg, 47.5, 1e-9);
    EXPECT_NEAR(u.pos.altFt, 2000.0, 1e-6);

    HANDLE h = nullptr;
    EXPECT_TRUE(FAILED(SimConnect_Open(&h, "Tavix", nullptr, 0, nullptr, 0)));  // failures.opens
    {
        SimProbe p;
        ASSERT_TRUE(p.opened());
        SimConnect_SubscribeToSystemEvent(p.handle(), 202, "ObjectAdded");
        SIMCONNECT_DATA_INITPOSITION init{47.5, 8.0, 0.0, 0, 0, 0, 1, 0};
        SimConnect_AICreateNonATCAircraft(p.handle(), "Heli Title", "H1", init, 104);
        SimConnect_AICreateNonATCAircraft(p.handle(), "Plain Title", "P1", init, 104);  // refused
        const DWORD refused = p.lastPacket();
        ASSERT_TRUE(sim().frame());
        const auto heli = sim().objectByAtcId("H1");
        ASSERT_TRUE(heli);
        EXPECT_EQ(heli->type, ObjType::Helicopter);
        EXPECT_DOUBLE_EQ(heli->pos.altFt, 1304.5);  // terrain + the title's CG
        EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{{22, refused, 1}}));
        // The simulator quits 20 s after the scenario started (500 frames at 25 fps).
        sim().advance(500 - 126 - 1);
        EXPECT_EQ(sim().openConnections(), 1);
        sim().advance(1);
        EXPECT_EQ(sim().openConnections(), 0);
        ASSERT_TRUE(sim().deliver());
        EXPECT_EQ(p.recordsOf(SIMCONNECT_RECV_ID_QUIT).size(), 1u);
        p.keepOpenOnExit();
    }
    // Delayed start: a number is the seconds until the flight starts.
    tvxtest::writeFile(tmp / "later.json", R"({"flight": 2, "titles": "any"})");
    sim().reset();
    sim().loadScenario((tmp / "later.json").string());
    EXPECT_FALSE(sim().flightRunning());
    EXPECT_TRUE(sim().config().acceptAnyTitle);
    sim().advance(100);
    EXPECT_TRUE(sim().flightRunning());
}

TEST_F(SimScenario, MalformedFilesNameTheFileAndMember)
{
    const struct {
        const char* text;
        const char* message;
    } rows[] = {
        {"{\"fps\": \"fast\"}", "member \"fps\": expected a number"},
        {"{\"user\": {\"lat\": 95}}", "member \"user\": position outside"},
        {"{\"titles\": \"some\"}", "member \"titles\": expected \"any\" or a list"},
        {"{\"titles\": [{\"cgFt\": 3}]}", "member \"titles[0]\": missing \"title\""},
        {"{\"flight\": \"paused\"}", "member \"flight\": expected \"running\", \"menu\""},
        {"{\"userPath\": [{\"lat\": 1, \"lon\": 2, \"altFt\": 3}]}", "missing \"seconds\""},
        {"{\"app\": {\"version\": [1, -2]}}", "member \"app.version\""},
        {"{\"fps\": 30,", "not JSON"},
        {"{\"terrainFields\": [{\"lat\": 51, \"lon\": 0}]}", "member \"terrainFields[0]\": missing \"elevFt\""},
        {"{\"terrainFields\": []}", "member \"terrainFields\": expected at least one field"},
        {"{\"terrainFt\": 3, \"terrainFields\": [{\"lat\": 51, \"lon\": 0, \"elevFt\": 3}]}", "not both"},
    };
    for (const auto& r : rows) {
        tvxtest::writeFile(tmp / "bad.json", r.text);
        sim().reset();
        try {
            sim().loadScenario((tmp / "bad.json").string());
            ADD_FAILURE() << "accepted: " << r.text;
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("bad.json"), std::string::npos) << what;
            EXPECT_NE(what.find(r.message), std::string::npos) << what;
        }
    }
    EXPECT_THROW(sim().loadScenario((tmp / "missing.json").string()), std::runtime_error);
    // Through the environment a broken file costs nothing but a message: the defaults run.
    setenv("TAVIX_SIM_SCENARIO", (tmp / "bad.json").c_str(), 1);
    sim().resetForDemo();
    EXPECT_EQ(sim().config().mode, Mode::FreeRunning);
    EXPECT_DOUBLE_EQ(sim().user().pos.latDeg, 50.0333);
    // Unknown members are kept as warnings.
    tvxtest::writeFile(tmp / "extra.json", "{\"weather\": \"fine\"}");
    sim().reset();
    sim().loadScenario((tmp / "extra.json").string());
    ASSERT_EQ(sim().warnings().size(), 1u);
    EXPECT_NE(sim().warnings()[0].find("unknown member \"weather\""), std::string::npos);
}

// A replay over several airports: an aircraft created below the ground (a recorded pressure
// altitude just after its lift-off) stands on the ground of the field nearest to it, not on the
// user's field (before, one elevation held everywhere: a lift-off 40 nm from Heathrow at 75 ft
// met Heathrow's 83 ft instead of Southend's 49 ft).
TEST_F(SimScenario, TerrainFieldsGiveTheNearestFieldsGround)
{
    tvxtest::writeFile(tmp / "fields.json", R"({
      "flight": "running",
      "terrainFields": [{"lat": 51.4706, "lon": -0.461941, "elevFt": 83},
                        {"lat": 51.5714, "lon": 0.695556, "elevFt": 49}],
      "titles": [{"title": "Light Title", "cgFt": 5}]
    })");
    sim().loadScenario((tmp / "fields.json").string());
    SimProbe p;
    ASSERT_TRUE(p.opened());
    SIMCONNECT_DATA_INITPOSITION southend{51.565, 0.681, 0.0, 0, 0, 0, 0, 90};
    SIMCONNECT_DATA_INITPOSITION heathrow{51.47, -0.45, 0.0, 0, 0, 0, 0, 90};
    SimConnect_AICreateNonATCAircraft(p.handle(), "Light Title", "S1", southend, 104);
    SimConnect_AICreateNonATCAircraft(p.handle(), "Light Title", "H1", heathrow, 105);
    ASSERT_TRUE(sim().frame());
    const auto s1 = sim().objectByAtcId("S1");
    const auto h1 = sim().objectByAtcId("H1");
    ASSERT_TRUE(s1 && h1);
    EXPECT_DOUBLE_EQ(s1->pos.altFt, 54.0);  // Southend's 49 ft + the title's CG
    EXPECT_DOUBLE_EQ(h1->pos.altFt, 88.0);  // Heathrow's 83 ft + CG
}

TEST_F(SimScenario, TraceFiles)
{
    sim().addTitle("Known A320");
    {
        SimProbe p;
        SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 0, 0, 0};
        SimConnect_AICreateNonATCAircraft(p.handle(), "Known A320", "DLH5", init, 104);
        ASSERT_TRUE(sim().frame());
        sim().writeTrace((tmp / "trace").string());  // before the close removes the object
    }
    const std::string world = tvxtest::readFile(tmp / "trace" / "sim-world.txt");
    EXPECT_NE(world.find("1001 \"Known A320\" atc \"DLH5\" 50.000000,8.000000 3000 ft"), std::string::npos)
        << world;
    EXPECT_EQ(tvxtest::readFile(tmp / "trace" / "sim-positions.csv").rfind("frame,object,lat,lon", 0), 0u);
}

TEST_F(SimScenario, ShippedExampleLoadsCleanly)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "TAVIX_SOURCE_DIR not set";
    sim().loadScenario(std::string(source) + "/standins/scenarios/sim_frankfurt.json");
    EXPECT_TRUE(sim().warnings().empty()) << ::testing::PrintToString(sim().warnings());
    EXPECT_EQ(sim().config().appVersion, (std::array<std::uint32_t, 4>{1, 37, 19, 0}));
    EXPECT_FALSE(sim().flightRunning());
}
