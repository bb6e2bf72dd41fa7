// Flight-plan files of live aircraft (text, name, folder) and the respawn decision on a new
// record of a placed aircraft.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include <pugixml.hpp>

#include "foundation/settings.h"
#include "model/airport_list.h"
#include "simconnect/standin_sim.h"
#include "simulator/ai_tick.h"
#include "simulator/flight_plan.h"
#include "simulator/live_lifecycle.h"
#include "simulator/sim_client.h"
#include "support/motion_fixture.h"

using namespace tvxtest;

namespace {

AcData planAc(SizeClass cls, std::string origin, std::string destination)
{
    AcData ac;
    ac.sizeClass = cls;
    ac.origin = std::move(origin);
    ac.destination = std::move(destination);
    return ac;
}

// Opens a stand-in simulator connection as the program's handle; closes it at the end.
class SimConnection {
public:
    SimConnection()
    {
        simstandin::sim().reset();
        SimConnect_Open(&g_hSimConnect, "Tavix", nullptr, 0, nullptr, 0);
    }
    ~SimConnection()
    {
        SimConnect_Close(g_hSimConnect);
        g_hSimConnect = nullptr;
    }
};

}  // namespace

TEST(MotionFlightPlan, FileTextByClass)
{
    MotionSandbox sandbox;
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
        "<FlightPlan.FlightPlan>\n"
        "<FPType>IFR</FPType>\n"
        "<DepartureID>EDDF</DepartureID>\n"
        "<DestinationID>KJFK</DestinationID>\n"
        "</FlightPlan.FlightPlan>\n"
        "</SimBase.Document>\n";
    const auto path = sandbox.folder() / "plan.pln";
    ASSERT_TRUE(gf_writeFlightPlan(path, planAc(SizeClass::Large, "EDDF", "KJFK")));
    EXPECT_EQ(readFile(path), expected);

    for (SizeClass cls : {SizeClass::Light, SizeClass::HighPerf, SizeClass::Rotorcraft}) {
        ASSERT_TRUE(gf_writeFlightPlan(path, planAc(cls, "EDFE", "EDFM")));
        EXPECT_NE(readFile(path).find("<FPType>VFR</FPType>\n<DepartureID>EDFE</DepartureID>"), std::string::npos);
    }
    for (SizeClass cls : {SizeClass::Buzjets, SizeClass::Heavy})
        EXPECT_NE(gf_flightPlanText(planAc(cls, "A", "B")).find("<FPType>IFR</FPType>"), std::string::npos);

    EXPECT_FALSE(gf_writeFlightPlan(sandbox.folder() / "missing" / "x.pln", planAc(SizeClass::Large, "A", "B")));
    EXPECT_EQ(lf_flightPlanFileName(123456), std::filesystem::path("123456.pln"));
}

// Origin and destination arrive from the network as any text: the file stays well-formed and
// gives them back unchanged (control characters, which XML cannot hold, are left out).
TEST(MotionFlightPlan, RouteTextsAreEscaped)
{
    MotionSandbox sandbox;
    const auto path = sandbox.folder() / "escaped.pln";
    ASSERT_TRUE(gf_writeFlightPlan(path, planAc(SizeClass::Large, "A&B<C>", "\"X'Y\"\x01]]>")));
    EXPECT_NE(readFile(path).find("<DepartureID>A&amp;B&lt;C&gt;</DepartureID>\n"), std::string::npos);
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    ASSERT_TRUE(parsed) << parsed.description() << "\n" << readFile(path);
    const pugi::xml_node plan = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    EXPECT_STREQ(plan.child_value("FPType"), "IFR");
    EXPECT_STREQ(plan.child_value("DepartureID"), "A&B<C>");
    EXPECT_STREQ(plan.child_value("DestinationID"), "\"X'Y\"]]>");
    EXPECT_EQ(std::distance(plan.children().begin(), plan.children().end()), 3);
}

TEST(MotionFlightPlan, FolderPreparedAndRemovedWithItsFiles)
{
    MotionSandbox sandbox;
    g_appFolder = sandbox.folder() / "Tavix";
    ASSERT_TRUE(gf_prepareFlightPlanFolder());
    EXPECT_EQ(g_flightPlanFolder, sandbox.folder() / "Tavix" / "orig_dest");
    EXPECT_TRUE(std::filesystem::is_directory(g_flightPlanFolder));
    writeFile(g_flightPlanFolder / "1001.pln", "x");
    EXPECT_TRUE(gf_prepareFlightPlanFolder());  // already there
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(std::filesystem::exists(g_flightPlanFolder));
    g_flightPlanFolder.clear();
}

// 2024: the file is written and no plan call goes to the simulator; 2020: the call follows.
TEST(MotionFlightPlan, PlanCallOnlyFor2020)
{
    for (const bool is2020 : {false, true}) {
        MotionSandbox sandbox;
        SimConnection connection;
        g_optMsfs2020.set(is2020);
        g_flightPlanFolder = sandbox.folder().path();
        LiveAc ac = makeLiveAc(0x3C0100, "DLH1", {rec(50, 8, 0)});
        ac.origin = "EDDF";
        ac.destination = "KJFK";
        ac.objectId = 1001;
        liveac::createFlightPlan(ac);
        EXPECT_TRUE(ac.flightPlanSet);
        EXPECT_NE(readFile(sandbox.folder() / "1001.pln").find("<DestinationID>KJFK</DestinationID>"),
                  std::string::npos);
        const auto calls = simstandin::sim().calls(simstandin::Call::AISetAircraftFlightPlan);
        EXPECT_EQ(calls.size(), is2020 ? 1u : 0u);
        g_flightPlanFolder.clear();
    }
}

TEST(MotionFlightPlan, PlanNeedsBothEndsAndReportsFailure)
{
    MotionSandbox sandbox;
    g_optMsfs2020.set(false);
    g_flightPlanFolder = sandbox.folder() / "no such folder";
    LiveAc ac = makeLiveAc(0x3C0101, "DLH2", {rec(50, 8, 0)});
    ac.objectId = 1002;
    ac.origin = "EDDF";
    liveac::createFlightPlan(ac);  // no destination: nothing
    EXPECT_FALSE(ac.flightPlanSet);
    EXPECT_EQ(sandbox.logText().find("creating a flight plan failed"), std::string::npos);
    ac.destination = "EGLL";
    liveac::createFlightPlan(ac);
    EXPECT_FALSE(ac.flightPlanSet);
    // No folder prepared: nothing is written into the working folder.
    g_flightPlanFolder.clear();
    liveac::createFlightPlan(ac);
    EXPECT_FALSE(ac.flightPlanSet);
    EXPECT_FALSE(std::filesystem::exists("1002.pln"));
    EXPECT_NE(sandbox.logText().find("DLH2     D-DLH2 DLH A320 creating a flight plan failed"), std::string::npos)
        << sandbox.logText();
    g_flightPlanFolder.clear();
}

// The respawn decision on a record of a placed aircraft: false (and the aircraft respawns) only
// when its identity or route changed and GUID_CHANGES is on.
TEST(MotionFlightPlan, RespawnDecision)
{
    struct Case {
        const char* name;
        AcState state;
        AcPhase phase;
        std::int32_t hold;
        bool takeOff;
        std::string recordCallsign;
        std::string recordOrigin;
        std::string recordDestination;
        bool guidChanges;
        bool result;
        bool respawned;
    };
    const Case cases[] = {
        {"unchanged", AcState::Placed, AcPhase::Taxiing, 0, false, "DLH1", "EDDF", "KJFK", true, true, false},
        {"record without callsign", AcState::Placed, AcPhase::Taxiing, 0, false, "", "", "", true, true, false},
        {"callsign is the registration", AcState::Placed, AcPhase::Taxiing, 0, false, "D-DLH1", "EDDF", "KJFK",
         true, true, false},
        {"new callsign", AcState::Placed, AcPhase::Taxiing, 0, false, "DLH9", "EDDF", "KJFK", true, false, true},
        {"new callsign, no GUID changes", AcState::Placed, AcPhase::Taxiing, 0, false, "DLH9", "EDDF", "KJFK",
         false, true, false},
        {"new route", AcState::Placed, AcPhase::Airborne, 0, false, "DLH1", "EGLL", "LFPG", true, false, true},
        {"one end of the route differs", AcState::Placed, AcPhase::Airborne, 0, false, "DLH1", "EDDF", "LFPG",
         true, true, false},
        {"taking off", AcState::Placed, AcPhase::Taxiing, 0, true, "DLH9", "EGLL", "LFPG", true, true, false},
        {"holding at the end of its data", AcState::Placed, AcPhase::Taxiing, 1, false, "DLH9", "", "", true, true,
         false},
        {"pushing back", AcState::Placed, AcPhase::Pushback, 0, false, "DLH9", "", "", true, true, false},
        {"creation requested", AcState::CreationRequested, AcPhase::Taxiing, 0, false, "DLH9", "", "", true, true,
         false},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        g_optGuidChanges.set(c.guidChanges);
        g_tick.store(500);
        LiveAc ac = makeLiveAc(0x3C0110, "DLH1", {rec(50.0, 8.0, 400, 10), rec(50.01, 8.0, 600, 10)}, SizeClass::Large,
                               c.state, c.phase);
        ac.origin = "EDDF";
        ac.destination = "KJFK";
        ac.objectId = 1001;
        ac.holdCounter = c.hold;
        ac.takeOff = c.takeOff ? 1 : 0;
        ac.sim.lat = 50.005;
        ac.sim.lon = 8.0;
        ac.sim.heading = 0.25;
        TrafficRecord r;
        r.callsign = c.recordCallsign;
        r.origin = c.recordOrigin;
        r.destination = c.recordDestination;
        r.hexid = 0x3C0110;
        EXPECT_EQ(liveac::respawn(ac, r), c.result) << c.name;
        EXPECT_EQ(ac.state == AcState::Respawning, c.respawned) << c.name;
        if (c.respawned) {
            ASSERT_EQ(ac.stream.size(), 3u) << c.name;
            EXPECT_EQ(ac.stream[0].lat, 50.005) << c.name;
            EXPECT_EQ(ac.stream[0].slot, 501) << c.name;
            EXPECT_TRUE(ac.forcedHeadingSet);
            EXPECT_DOUBLE_EQ(ac.forcedHeading, 0.25);
            ASSERT_EQ(g_removeRequests.size(), 1u);
            EXPECT_EQ(g_removeRequests.front(), 1001u);
        }
    }
}

TEST(MotionFlightPlan, RespawnTakesIdentityWhileBuffering)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x3C0120, "DLH1", {rec(50, 8, 0)});
    ac.destination = "KJFK";
    TrafficRecord r;
    r.callsign = "DLH7";
    r.registration = "D-AIXX";
    r.origin = "EDDF";
    EXPECT_TRUE(liveac::respawn(ac, r));
    EXPECT_EQ(ac.callsign, "DLH7");
    EXPECT_EQ(ac.coupledCallsign1, "DLH7");
    EXPECT_EQ(ac.registration, "D-AIXX");
    EXPECT_EQ(ac.origin, "EDDF");
    EXPECT_EQ(ac.destination, "KJFK");  // the record has none: kept
}

// An aircraft from the park airport keeps its route when the new record flies back there.
TEST(MotionFlightPlan, RouteBackToTheParkAirportIsKept)
{
    MotionSandbox sandbox;
    g_parkAirport.code = "EDDF";
    g_parkAirport.iata = "FRA";
    LiveAc ac = makeLiveAc(0x3C0130, "DLH1", {rec(50, 8, 0), rec(50, 8, 10)}, SizeClass::Large, AcState::Placed,
                           AcPhase::Taxiing);
    ac.origin = "FRA";
    ac.destination = "JFK";
    TrafficRecord r;
    r.callsign = "DLH1";
    r.origin = "JFK";
    r.destination = "FRA";
    EXPECT_FALSE(liveac::updateRoute(ac, r));
    EXPECT_EQ(ac.origin, "FRA");
    r.destination = "MUC";
    EXPECT_TRUE(liveac::updateRoute(ac, r));
    EXPECT_EQ(ac.destination, "MUC");
    EXPECT_EQ(ac.origin, "JFK");
}
