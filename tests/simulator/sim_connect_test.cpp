// The SimConnect client thread against the stand-in simulator: open with retry, the registration
// of every id in its order, recognition of the two simulators, the flight flag, restarts on a
// loaded flight, receive ids and exceptions, the frame rate, and the three ways out (stop, QUIT,
// a thrown handler).
#include <string>
#include <vector>

#include "frame/window_model.h"
#include "simulator/sim_ids.h"
#include "support/simlink_harness.h"

using simstandin::Call;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

class SimConnectTest : public tvxtest::SimLinkHarness {};

std::vector<std::string> callArgs(Call call)
{
    std::vector<std::string> args;
    for (const auto& c : simstandin::sim().calls(call))
        args.push_back(c.args);
    return args;
}

TEST_F(SimConnectTest, ConnectsAfterARefusedOpen)
{
    g_optMsfs2020.set(true);
    sim().failNextOpens(1);
    connect();
    EXPECT_EQ(sim().opensAttempted(), 2);
    EXPECT_EQ(logCount("Waiting for MSFS 2020 ..."), 1);
    EXPECT_FALSE(g_notYetConnected.load());
    EXPECT_TRUE(logHas("MSFS 2020 (1.0.0.0) connected"));
    EXPECT_EQ(gf_simulatorText(), "MSFS 2020 (1.0.0.0)");
    EXPECT_EQ(gf_statusLineText(), "");
    EXPECT_EQ(sim().calls(Call::Open).back().args, "Tavix, config 0");
}

TEST_F(SimConnectTest, RegistersEveryIdInItsOrder)
{
    connect();
    EXPECT_THAT(callArgs(Call::SubscribeToSystemEvent),
                ElementsAre("201, Sim", "202, ObjectAdded", "203, ObjectRemoved", "205, FlightLoaded",
                            "204, Frame"));
    // Definitions in the order 407, 408, 409, 402, 403, 405, 406, 404 and, after the client
    // events, 401: the sequence of calls shows the order the simulator sees.
    std::vector<std::uint32_t> defOrder;
    std::vector<Call> kinds;
    for (const auto& c : sim().calls()) {
        if (c.call == Call::AddToDataDefinition) {
            const auto def = static_cast<std::uint32_t>(std::stoul(c.args));
            if (defOrder.empty() || defOrder.back() != def)
                defOrder.push_back(def);
        }
        if (c.call != Call::CallDispatch && (kinds.empty() || kinds.back() != c.call))
            kinds.push_back(c.call);
    }
    EXPECT_THAT(defOrder, ElementsAre(407, 408, 409, 402, 403, 405, 406, 404, 401));
    EXPECT_THAT(kinds, ElementsAre(Call::Open, Call::SubscribeToSystemEvent, Call::AddToDataDefinition,
                                   Call::MapClientEventToSimEvent, Call::AddToDataDefinition,
                                   Call::AddClientEventToNotificationGroup,
                                   Call::SetNotificationGroupPriority));
    for (const auto& c : sim().calls(Call::AddClientEventToNotificationGroup))
        EXPECT_THAT(c.args, HasSubstr("maskable 1"));

    struct Expected {
        std::uint32_t def;
        std::vector<std::string> names;
    };
    const std::vector<Expected> layouts = {
        {401, {"SPOILERS HANDLE POSITION", "GENERAL ENG THROTTLE LEVER POSITION:1",
               "GENERAL ENG THROTTLE LEVER POSITION:2"}},
        {402, {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
               "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"}},
        {403, {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
               "Plane Heading degrees true", "Plane Altitude", "Plane Alt Above Ground",
               "Ground Velocity", "ZULU TIME", "ZULU DAY OF YEAR", "ZULU YEAR", "LIGHT STATES"}},
        {404, {"Plane Alt Above Ground", "Ground Altitude", "SIM ON GROUND", "ATC ID"}},
        {405, {"Static CG to Ground", "Static Pitch"}},
        {406, {"Light On States"}},
        {407, {"TITLE"}},
        {408, {"ATC MODEL"}},
        {409, {"SIM ON GROUND"}},
    };
    for (const auto& [def, names] : layouts) {
        std::vector<std::string> got;
        for (const auto& d : sim().definition(def))
            got.push_back(d.name);
        EXPECT_EQ(got, names) << "definition " << def;
    }
    // Attitude in radians, strings without unit, the 403 clock and mask as INT64.
    const auto user = sim().definition(403);
    ASSERT_EQ(user.size(), 12u);
    EXPECT_EQ(user[2].unit, "radians");
    EXPECT_EQ(user[4].unit, "radians");
    EXPECT_EQ(user[8].type, static_cast<std::uint32_t>(SIMCONNECT_DATATYPE_INT64));
    EXPECT_EQ(sim().definition(404)[3].type, static_cast<std::uint32_t>(SIMCONNECT_DATATYPE_STRING32));
    EXPECT_EQ(sim().definition(407)[0].type, static_cast<std::uint32_t>(SIMCONNECT_DATATYPE_STRINGV));
    EXPECT_EQ(sim().definition(402)[6].unit, "feet per second");

    EXPECT_THAT(callArgs(Call::MapClientEventToSimEvent),
                ElementsAre("219, GEAR_SET", "220, ENGINE_AUTO_START", "221, ENGINE_AUTO_SHUTDOWN",
                            "222, THROTTLE_SET", "217, FLAPS_SET", "218, SPOILERS_SET",
                            "207, NAV_LIGHTS_SET", "206, BEACON_LIGHTS_SET", "210, LANDING_LIGHTS_SET",
                            "208, TAXI_LIGHTS_SET", "209, STROBES_SET", "212, LOGO_LIGHTS_SET",
                            "211, CABIN_LIGHTS_SET", "213, ALL_LIGHTS_TOGGLE",
                            "214, FREEZE_LATITUDE_LONGITUDE_SET", "215, FREEZE_ALTITUDE_SET",
                            "216, FREEZE_ATTITUDE_SET"));
    EXPECT_THAT(sim().groupMembers(301),
                ElementsAre(207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214, 215, 216));
    EXPECT_EQ(sim().groupPriority(301), 1u);
    EXPECT_EQ(sim().mappedEvent(220), "ENGINE_AUTO_START");
    // Nothing refused: no name, unit or type the simulator does not know.
    EXPECT_FALSE(logHas("SIMCON EXCEP"));
    EXPECT_FALSE(logHas("Exception"));
}

struct GenerationRow {
    bool msfs2020;
    const char* appName;
    const char* expected;  // error text, or the connected text
    bool connects;
};

class SimGenerationTest : public tvxtest::SimLinkHarness,
                          public ::testing::WithParamInterface<GenerationRow> {};

TEST_P(SimGenerationTest, RecognisesTheSimulator)
{
    const GenerationRow& row = GetParam();
    g_optMsfs2020.set(row.msfs2020);
    sim().setApplication(row.appName, {1, 2, 3, 4});
    startClient();
    sim().frame(2);
    if (row.connects) {
        EXPECT_EQ(gf_simulatorText(), row.expected);
        EXPECT_TRUE(g_simConnectedIndicator.load());
        return;
    }
    m_client.join();  // the thread ended on its own
    EXPECT_THAT(gf_errorLineText(), HasSubstr(row.expected));
    EXPECT_EQ(sim().openConnections(), 1) << "a wrong simulator leaves the connection open";
    EXPECT_EQ(sim().closes(), 0);
    EXPECT_FALSE(g_exitRequested.load());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimGenerationTest,
    ::testing::Values(
        GenerationRow{true, "SunRise",
                      "71: MSFS 2024 is running ..., switch Sim or toggle the Install path checkbox of Tavix",
                      false},
        GenerationRow{false, "KittyHawk",
                      "71: MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of Tavix",
                      false},
        GenerationRow{true, "Kitty-Hawk", "MSFS 2020 (1.2.3.4)", true},
        GenerationRow{false, "SunRise", "MSFS 2024", true},
        GenerationRow{true, "Other Sim!", "77: \"Other Sim\" not being MSFS 2020 or MSFS 2024 connects ... ? ",
                      false}));

TEST_F(SimConnectTest, VersionMismatchEndsTheLink)
{
    sim().armVersionMismatch(3);
    startClient();
    sim().frame(2);
    m_client.join();
    EXPECT_THAT(gf_errorLineText(), HasSubstr("95: Simconnect Version Mismatch, dwindex: 3 "));
}

TEST_F(SimConnectTest, FlightFlagFollowsTheSimEvent)
{
    connect();
    EXPECT_FALSE(g_flightRunning.load());
    sim().startFlight();
    sim().frame();
    EXPECT_TRUE(g_flightRunning.load());
    EXPECT_TRUE(gf_paintedValues().flightIndicator);
    sim().endFlight();
    sim().frame();
    EXPECT_FALSE(g_flightRunning.load());
    EXPECT_FALSE(gf_paintedValues().flightIndicator);
}

class SimConnectRunningTest : public tvxtest::SimLinkHarness {
    simstandin::Config simConfig() const override
    {
        simstandin::Config c;
        c.flightRunning = true;
        return c;
    }
};

TEST_F(SimConnectRunningTest, ConnectingIntoARunningFlight)
{
    connect();
    EXPECT_TRUE(frameUntil([] { return g_flightRunning.load(); }, 2));
}

struct LoadedRow {
    bool asFilename;
    const char* logLine;
};

class SimFlightLoadedTest : public tvxtest::SimLinkHarness,
                            public ::testing::WithParamInterface<LoadedRow> {
    simstandin::Config simConfig() const override
    {
        simstandin::Config c;
        c.flightLoadedAsFilename = GetParam().asFilename;
        return c;
    }
};

TEST_P(SimFlightLoadedTest, RestartsAfter45Seconds)
{
    connect();
    sim().loadFlight("a.FLT");
    sim().frame();
    EXPECT_TRUE(logHas(GetParam().logLine));
    EXPECT_TRUE(g_exitRequested.load());
    EXPECT_EQ(g_exitReason.load(), ExitReason::RESTART);
    const std::optional<ExitRequest> request = gf_exitRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->seconds, 45);
}

INSTANTIATE_TEST_SUITE_P(Table, SimFlightLoadedTest,
                         ::testing::Values(LoadedRow{true, "===> New file loaded"},
                                           LoadedRow{false, "===> Flight loaded"}));

TEST_F(SimConnectTest, OnlyUnlistedReceiveIdsAreLogged)
{
    connect();
    for (std::uint32_t id : {10u, 12u, 16u, 27u})
        sim().injectRaw(id);
    sim().frame();
    EXPECT_TRUE(logHas("! Unknown Dispatch dwID 10"));
    EXPECT_EQ(logCount("! Unknown Dispatch dwID"), 1);
}

TEST_F(SimConnectTest, ExceptionsByNumber)
{
    connect();
    // Before a flight the user sits at 0,0: unrecognised ids are normal then.
    sim().injectException(3, 0, 1);
    sim().frame();
    EXPECT_FALSE(logHas("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));

    sim().moveUser(50.0, 8.0, 300.0);
    startFlight();
    sim().frame();
    struct Row {
        std::uint32_t exception;
        const char* logLine;
    };
    for (const Row& row : {Row{3, "===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"},
                           Row{11, "SimConnect: too many objects (max 1000)"},
                           Row{19, "SIMCON EXCEP 19"},
                           Row{23, "===> Simconnect Exception: load flight plan failed"},
                           Row{24, "SIMCON EXCEP 24"},
                           Row{42, "===> SIMCON EXCEP 42"}}) {
        sim().injectException(row.exception, 0, 1);
        sim().frame();
        EXPECT_TRUE(logHas(row.logLine)) << row.exception;
    }
    EXPECT_EQ(gf_statusLineText(), "SimConnect: too many objects (max 1000)");
}

class SimFrameRateTest : public tvxtest::SimLinkHarness {
    simstandin::Config simConfig() const override
    {
        simstandin::Config c;
        c.fps = 42.5f;
        return c;
    }
};

TEST_F(SimFrameRateTest, PublishedEveryThirtyFrames)
{
    connect();
    while (sim().frameCount() < 29) {
        EXPECT_EQ(g_frameRate.load(), 0.0f) << "frame " << sim().frameCount();
        sim().frame();
    }
    EXPECT_EQ(g_frameRate.load(), 0.0f);
    sim().frame();
    EXPECT_EQ(g_frameRate.load(), 42.5f);
}

TEST_F(SimConnectTest, QuitClosesAndEndsTheProgram)
{
    connect();
    startFlight();
    sim().quit();
    sim().frame();
    m_client.join();
    EXPECT_FALSE(g_flightRunning.load());
    EXPECT_FALSE(g_simConnectedIndicator.load());
    EXPECT_EQ(g_hSimConnect, nullptr);  // no caller may use the closed handle
    EXPECT_TRUE(logHas("Flight Simulator no longer connected, Tavix will stop ..."));
    EXPECT_EQ(g_exitReason.load(), ExitReason::SIM_WAS_CLOSED);
}

TEST_F(SimConnectTest, StopUnregistersAndClosesWithoutExit)
{
    connect();
    startFlight();
    stopClient();
    EXPECT_EQ(sim().closes(), 1);
    EXPECT_EQ(sim().openConnections(), 0);
    EXPECT_EQ(g_hSimConnect, nullptr);
    EXPECT_FALSE(g_exitRequested.load());
    EXPECT_FALSE(g_flightRunning.load());
    EXPECT_THAT(callArgs(Call::ClearDataDefinition),
                ElementsAre("407", "408", "409", "402", "403", "401", "404", "405", "406"));
    EXPECT_THAT(callArgs(Call::UnsubscribeFromSystemEvent),
                ElementsAre("201", "202", "203", "204", "205"));
}

TEST_F(SimConnectTest, ThirdRequestErrorRestarts)
{
    connect();
    startFlight();
    sim().failCalls(Call::RequestDataOnSimObject, 3);
    gf_requestUserAcPosition();
    gf_requestUserAcPosition();
    EXPECT_FALSE(g_simConnectFailed.load());
    EXPECT_FALSE(g_exitRequested.load());
    gf_requestUserAcPosition();
    EXPECT_TRUE(g_simConnectFailed.load());
    EXPECT_TRUE(logHas("SimConnect request error 3, see Log.txt"));
    EXPECT_EQ(logCount("===> SimConnect request user ac position fails"), 3);
    EXPECT_EQ(g_exitReason.load(), ExitReason::RESTART);
    // In the failed state request 109 is not made any more.
    const auto before = sim().calls(Call::RequestDataOnSimObject).size();
    gf_requestUserAcPosition();
    EXPECT_EQ(sim().calls(Call::RequestDataOnSimObject).size(), before);
}

// gf_exit joins the previous exit thread and starts the next one: the restart of the third error
// waits until the failing caller has released the simulator lock.
TEST_F(SimConnectTest, ThirdRequestErrorExitsOutsideTheSimConnectLock)
{
    connect();
    startFlight();
    {
        std::lock_guard lock(g_simConnectMutex);
        for (int i = 0; i < 3; ++i)
            gf_simConnectError();
        EXPECT_TRUE(g_simConnectFailed.load());
        EXPECT_TRUE(logHas("SimConnect request error 3, see Log.txt"));
        EXPECT_FALSE(g_exitRequested.load());
    }
    gf_exitOnSimConnectErrors();
    EXPECT_TRUE(g_exitRequested.load());
    EXPECT_EQ(g_exitReason.load(), ExitReason::RESTART);
}

}  // namespace
