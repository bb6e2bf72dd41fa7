// The user aircraft through the stand-in: its state and object id, the one-second tick of request
// 108, the teleport restart, title and model with the type rewrite and the span, the simulator's
// UTC time, the stand handed to the main loop, and the course function.
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "app/window_model.h"
#include "liveries/aircraft_db.h"
#include "support/liveries_fixture.h"
#include "support/simlink_harness.h"
#include "support/stand_services_fake.h"
#include "support/traffic_fixtures.h"
#include "traffic_service/traffic_client.h"

using ::testing::HasSubstr;
using namespace tvxtest;

namespace {

class SimUserTest : public SimLinkHarness {
protected:
    simstandin::Config simConfig() const override
    {
        simstandin::Config c;
        c.userObjectId = 7;
        return c;
    }
    void SetUp() override
    {
        SimLinkHarness::SetUp();
        DbFixture db;
        db.types = {{"A359", 64.75}, {"B748", 68.4}, {"CRJ7", 23.2}, {"E190", 28.7}, {"B737", 34.3},
                    {"A320", 35.8}, {"B738", 35.8}, {"A388", 79.8}};
        db.sets = {{"large", "A320 B737 B738 E190"}, {"heavy", "A359 B748 A388"}, {"business", "CRJ7"}};
        ASSERT_TRUE(db.load());
    }
    void TearDown() override
    {
        SimLinkHarness::TearDown();
        gf_clearAircraftDb();
    }
    void requestState()
    {
        gf_requestUserAcPosition();
        ASSERT_TRUE(sim().deliver());
    }
    void place(double lat, double lon)
    {
        sim().moveUser(lat, lon, 300.0);
        requestState();
    }

    // Asked by the simulator client thread: a member, so that it outlives the thread (TearDown).
    FakeStandServices stands;
};

TEST_F(SimUserTest, StateRoundTrip)
{
    simstandin::UserAc user;
    user.pos = {51.25, -0.5, -20.0};
    user.pitchRad = -0.04;
    user.bankRad = 0.2;
    user.headingRad = 5.5;
    user.groundSpeedKt = 12.0;
    user.lightStates = 0x25;
    sim().setUser(user);
    sim().setZulu(2024, 60, 3600.0);
    connect();
    startFlight();
    const UserAcState s = gf_userAc();
    EXPECT_DOUBLE_EQ(s.latitude, 51.25);
    EXPECT_DOUBLE_EQ(s.longitude, -0.5);
    EXPECT_DOUBLE_EQ(s.pitch, -0.04);  // radians on the wire
    EXPECT_DOUBLE_EQ(s.bank, 0.2);
    EXPECT_DOUBLE_EQ(s.heading, 5.5);
    EXPECT_DOUBLE_EQ(s.altitude, 0.0) << "a negative altitude is stored as 0";
    EXPECT_DOUBLE_EQ(s.groundVelocity, 12.0);
    EXPECT_EQ(s.zuluYear, 2024);
    EXPECT_EQ(s.zuluDayOfYear, 60);
    EXPECT_EQ(s.zuluTime, 3600);
    EXPECT_EQ(s.lightStates, 0x25);
    EXPECT_EQ(g_minObjectId.load(), 7u);
}

TEST_F(SimUserTest, OneSecondTickFromRequest108)
{
    sim().moveUser(50.0, 8.0, 300.0);
    connect();
    startFlight();
    g_tickFlag = false;
    std::vector<int> tickFrames;
    for (int frame = 0; frame < 160; ++frame) {
        sim().frame();
        if (g_tickFlag.exchange(false))
            tickFrames.push_back(frame);
    }
    ASSERT_GE(tickFrames.size(), 3u);
    for (std::size_t i = 1; i < tickFrames.size(); ++i)
        EXPECT_NEAR(tickFrames[i] - tickFrames[i - 1], 50, 1) << "one tick per simulated second at 50 fps";
    EXPECT_TRUE(g_userOnGround.load());
    EXPECT_TRUE(g_userOnGroundKnown.load());
    sim().setUserOnGround(false);
    sim().frame(50);
    EXPECT_FALSE(g_userOnGround.load());
}

TEST_F(SimUserTest, TickOnlyWhileNoFlightYet)
{
    sim().moveUser(0.0, 0.0, 0.0);  // the no-flight zone
    connect();
    sim().startFlight();
    sim().frame();
    ASSERT_TRUE(gf_requestUserAcOnGround());
    requestState();
    sim().frame(51);
    EXPECT_TRUE(g_tickFlag.load());
    EXPECT_FALSE(g_userOnGroundKnown.load());
}

TEST_F(SimUserTest, TeleportRestartsBeyondTenMiles)
{
    sim().moveUser(0.0, 0.0, 0.0);
    connect();
    startFlight();      // first reply at 0,0: never a teleport
    place(50.0, 8.0);   // from the no-flight zone: not a teleport
    place(50.0 + 9.9 / 60.0, 8.0);
    EXPECT_FALSE(g_exitRequested.load());
    place(50.0 + 20.0 / 60.0, 8.0);  // 10.1 nm on
    EXPECT_TRUE(logHas("Teleport"));
    EXPECT_EQ(g_exitReason.load(), ExitReason::RESTART);
}

TEST_F(SimUserTest, TitleCutAtFortyEightBytesAndLoggedOnce)
{
    const std::string title(60, 'T');
    sim().setUserTitle(title);
    connect();
    startFlight();
    EXPECT_EQ(gf_userTitle(), std::string(48, 'T'));
    EXPECT_EQ(gf_paintedValues().userAcText, std::string(48, 'T'));
    gf_requestUserAcTitle();
    sim().deliver();
    EXPECT_EQ(logCount("SimConnect: User aircraft title: "), 1);
}

struct ModelRow {
    const char* model;
    const char* title;
    const char* type;
    double spanMetres;  // the database span whose half the user aircraft gets
    const char* logLine;
};

double halfSpanNm(double spanMetres)
{
    return spanMetres * 0.5 * 0.0005399568034557236;
}

class SimUserModelTest : public SimUserTest, public ::testing::WithParamInterface<ModelRow> {};

TEST_P(SimUserModelTest, ModelGivesTypeAndSpan)
{
    const ModelRow& row = GetParam();
    sim().setUserTitle(row.title);
    sim().setUserModel(row.model);
    connect();
    startFlight();
    EXPECT_EQ(gf_userModel(), row.type);
    EXPECT_DOUBLE_EQ(g_userHalfSpan.load(), halfSpanNm(row.spanMetres));
    EXPECT_TRUE(g_userHalfSpanValid.load());
    EXPECT_TRUE(logHas(row.logLine)) << logText();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimUserModelTest,
    ::testing::Values(
        ModelRow{"A350-900", "Airbus", "A359", 64.75,
                 "SimConnect: User aircraft model: A359, half wing span: 32.4 meter, category: Heavy"},
        ModelRow{"$$:B748", "Boeing", "B748", 68.4, "model raw: $$:B748 "},
        ModelRow{"737", "PMDG DG 737-700 Air", "B737", 34.3, "model: B737, half wing span: 17.1 meter"},
        ModelRow{"TT:ATCCOM.AC_MODEL_B738.0.text", "x", "B738", 35.8, "model: B738"},
        ModelRow{"XYZ12345", "Some user title", "XYZ12345", 79.8,
                 "User aircraft wing span unknown, max is taken instead, please report in my Forum!"},
        ModelRow{"XA320NEO", "Aerosoft A320 Neo", "A320", 35.8,
                 "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.9 meter, "
                 "category: Large"},
        ModelRow{"camerapod", "Camera", "camerapod", 28.7, "model raw: camerapod "}));

TEST_F(SimUserTest, EmptyModelTakesTheCrj7)
{
    sim().setUserModel("");
    connect();
    startFlight();
    EXPECT_EQ(gf_paintedValues().userAcText, "Unknown (encrypted?) aircraft");
    EXPECT_TRUE(logHas("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead"));
    EXPECT_DOUBLE_EQ(g_userHalfSpan.load(), halfSpanNm(23.2));
}

TEST(SimUserModelRewrite, Table)
{
    struct Row {
        const char* model;
        const char* title;
        const char* expected;
    };
    for (const Row& r : {Row{"A350-900", "", "A359"}, Row{"N738B", "", "B38M"}, Row{"777", "", "772"},
                         Row{"A330-200 (RR)", "", "A332"}, Row{"$$:A3", "", "A3"}, Row{"$$:X", "", "$$:X"},
                         Row{"737", "DG 737-800 x", "B738"}, Row{"737", "DG 737-600", "B736"},
                         Row{"737", "DG 737-900", "B739"}, Row{"737", "Boeing", "737"}, Row{"A20N", "", "A20N"},
                         Row{".0.text", "", ".0.text"}}) {
        EXPECT_EQ(lf_rewriteModel(r.model, r.title), r.expected) << r.model;
    }
}

TEST(SimUserTitleCut, KeepsWholeCharacters)
{
    const std::string title = std::string(47, 'a') + "\xC3\xA9" + "bc";  // é straddles byte 48
    EXPECT_EQ(lf_cutUtf8(title, 48), std::string(47, 'a'));
    EXPECT_EQ(lf_cutUtf8(std::string(46, 'a') + "\xC3\xA9" + "x", 48), std::string(46, 'a') + "\xC3\xA9");
    EXPECT_EQ(lf_cutUtf8("short", 48), "short");
}

TEST_F(SimUserTest, SimulatorUtcTimeWithProfessionalAccount)
{
    StandinSession traffic;  // the traffic stand-in's licence is professional
    ASSERT_TRUE(g_trafficClient.login());
    ASSERT_TRUE(g_trafficClient.isProfessional());
    sim().moveUser(50.0, 8.0, 300.0);
    sim().setZulu(2024, 60, 0.0);
    connect();
    startFlight();
    EXPECT_EQ(g_simUtcTime.load(), 1709164800);
    sim().setZulu(2025, 1, 0.0);
    requestState();
    EXPECT_EQ(g_simUtcTime.load(), 1735689600);
    g_trafficClient.logout();
}

TEST(SimUserDate, DaysSinceEpochChecksTheDate)
{
    EXPECT_EQ(gf_daysSinceEpoch(1970, 1), 0);
    EXPECT_EQ(gf_daysSinceEpoch(2024, 60), 19782);
    EXPECT_EQ(gf_daysSinceEpoch(2000, 366), 11322);
    EXPECT_EQ(gf_daysSinceEpoch(2023, 366), std::nullopt);
    EXPECT_EQ(gf_daysSinceEpoch(2024, 0), std::nullopt);
    EXPECT_EQ(gf_daysSinceEpoch(1969, 10), std::nullopt);
}

TEST_F(SimUserTest, StandUnderTheUserGoesToTheWindowAndTheMainLoop)
{
    stands.onNearestStandName = [](double lat, double) { return lat < 50.001 ? "V12" : ""; };
    sim().moveUser(50.0, 8.0, 300.0);
    connect();
    startFlight();
    sim().frame(50);  // an on-ground reply
    EXPECT_EQ(gf_paintedValues().userStandText, "V12");
    sim().loadFlight("b.FLT");
    sim().frame();
    EXPECT_EQ(gf_takeUserStandForParkList(), "V12");
    EXPECT_EQ(gf_takeUserStandForParkList(), std::nullopt) << "taken once";
}

TEST(SimUserCourse, InitialCourse)
{
    constexpr double pi = std::numbers::pi;
    EXPECT_NEAR(gf_initialCourse({0, 0}, {0, 1}), pi / 2, 1e-12);
    EXPECT_NEAR(gf_initialCourse({0, 0}, {0, -1}), 3 * pi / 2, 1e-12);
    EXPECT_NEAR(gf_initialCourse({0, 0}, {1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_initialCourse({0, 0}, {-1, 0}), pi, 1e-12);
    const double c = gf_initialCourse({50, 8}, {50, 8});
    EXPECT_GE(c, 0.0);
    EXPECT_LT(c, 2 * pi);
}

}  // namespace
