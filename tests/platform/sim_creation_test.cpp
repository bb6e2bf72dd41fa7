// AI creation and removal through the stand-in: outcomes mature one frame after the call, carry the
// create call's packet id, come as ASSIGNED_OBJECT_ID then ObjectAdded, and object ids are never
// reused; removals, releases and flight plans keep to the caller's own objects.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/sim_probe.h"
#include "support/temp_folder.h"

using namespace simstandin;
using tvxtest::SimProbe;

namespace {

class SimCreation : public tvxtest::SimWorldTest {
protected:
    Config config() const override
    {
        Config c;
        c.capacity = 3;
        return c;
    }
    // Subscribes the program's object events on the probe.
    static void subscribe(HANDLE h)
    {
        SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded");
        SimConnect_SubscribeToSystemEvent(h, 203, "ObjectRemoved");
    }
    static DWORD create(const SimProbe& p, const char* title, const char* tail, double altFt = 3000.0,
                        DWORD onGround = 0)
    {
        SIMCONNECT_DATA_INITPOSITION init{50.0, 8.5, altFt, -3.0, 0.0, 270.0, onGround, 0};
        EXPECT_TRUE(SUCCEEDED(SimConnect_AICreateNonATCAircraft(p.handle(), title, tail, init, 104)));
        return p.lastPacket();
    }
};

}  // namespace

TEST_F(SimCreation, OutcomesMatureOneFrameLaterWithTheirPacketIds)
{
    sim().addTitle("Known A320", TitleInfo{ObjType::Aircraft, "A320", 9.0, -0.02});
    sim().addTitle("Refused B738");
    sim().refuseTitle("Refused B738");
    SimProbe p;
    subscribe(p.handle());
    ASSERT_TRUE(sim().deliver()) << sim().lastError();  // the OPEN record
    p.clear();
    const DWORD created = create(p, "known a320", "DLH123");  // titles match without regard to case
    const DWORD unknown = create(p, "Unknown Title", "BAW1");
    const DWORD refused = create(p, "Refused B738", "AFR2");
    const DWORD empty = create(p, "", "KLM3");
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_TRUE(p.records().empty()) << "nothing before the next frame";
    ASSERT_TRUE(sim().frame()) << sim().lastError();

    using Ex = std::array<DWORD, 3>;
    EXPECT_EQ(p.exceptions(), (std::vector<Ex>{{22, unknown, 1}, {22, refused, 1}, {22, empty, 1}}));
    const auto records = p.records();
    std::vector<DWORD> order;
    for (const auto& r : records)
        order.push_back(r.id());
    EXPECT_EQ(order, (std::vector<DWORD>{12, 5, 1, 1, 1}));
    const auto& assigned = records[0].as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>();
    EXPECT_EQ(assigned.dwRequestID, 104u);
    EXPECT_EQ(assigned.dwObjectID, 1001u);
    const auto& added = records[1].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    EXPECT_EQ(added.uEventID, 202u);
    EXPECT_EQ(added.dwData, 1001u);
    EXPECT_EQ(added.eObjType, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);

    const auto obj = sim().object(1001);
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->atcId, "DLH123");
    EXPECT_EQ(obj->title, "Known A320");
    EXPECT_EQ(obj->createPacket, created);
    EXPECT_NEAR(obj->headingRad, 1.5 * std::numbers::pi, 1e-12);  // degrees in, radians kept
    EXPECT_NEAR(obj->pitchRad, -3.0 * std::numbers::pi / 180.0, 1e-12);
    const auto recs = sim().creations();
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].outcome, CreationRec::Created);
    EXPECT_EQ(recs[1].outcome, CreationRec::Refused);
    EXPECT_EQ(recs[3].outcome, CreationRec::Refused);
    EXPECT_EQ(recs[0].packet, created);
}

TEST_F(SimCreation, CapacityIdsNeverReusedAndGroundPlacement)
{
    sim().addTitle("Known A320", TitleInfo{ObjType::Aircraft, "A320", 9.0, 0.0});
    sim().setTerrain([](double, double) { return 364.0; });
    SimProbe p;
    subscribe(p.handle());
    create(p, "Known A320", "A1", 0.0);             // below the terrain: raised to terrain + CG
    create(p, "Known A320", "A2", 5000.0, 1);       // OnGround = 1: put on the ground
    create(p, "Known A320", "A3", 5000.0);          // airborne: kept
    const DWORD full = create(p, "Known A320", "A4");
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{{11, full, 1}}));
    EXPECT_DOUBLE_EQ(sim().objectByAtcId("A1")->pos.altFt, 373.0);
    EXPECT_DOUBLE_EQ(sim().objectByAtcId("A2")->pos.altFt, 373.0);
    EXPECT_TRUE(sim().objectByAtcId("A2")->onGround);
    EXPECT_DOUBLE_EQ(sim().objectByAtcId("A3")->pos.altFt, 5000.0);
    EXPECT_FALSE(sim().objectByAtcId("A3")->onGround);

    // Removal matures one frame later; the freed id is not handed out again.
    const std::uint32_t first = sim().objectByAtcId("A1")->id;
    SimConnect_AIRemoveObject(p.handle(), first, 105);
    const DWORD removePacket = p.lastPacket();
    EXPECT_TRUE(sim().object(first));
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    EXPECT_FALSE(sim().object(first));
    ASSERT_EQ(sim().removals().size(), 1u);
    EXPECT_EQ(sim().removals()[0].packet, removePacket);
    create(p, "Known A320", "A5");
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    EXPECT_EQ(sim().objectByAtcId("A5")->id, 1004u);
    const auto removed = p.recordsOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    int removedEvents = 0;
    for (const auto& r : removed)
        if (r.as<SIMCONNECT_RECV_EVENT>().uEventID == 203) {
            ++removedEvents;
            EXPECT_EQ(r.as<SIMCONNECT_RECV_EVENT>().dwData, first);
        }
    EXPECT_EQ(removedEvents, 1);
}

TEST_F(SimCreation, CommandsOnForeignOrUserObjectsAreRefused)
{
    SimProbe p;
    HANDLE h = p.handle();
    const std::uint32_t foreign = sim().addForeignAircraft("Someone Else", "N123", Geo{50.0, 8.5, 2000.0});
    SimConnect_AIRemoveObject(h, foreign, 105);
    const DWORD removeForeign = p.lastPacket();
    SimConnect_AIReleaseControl(h, SIMCONNECT_OBJECT_ID_USER, 103);
    const DWORD releaseUser = p.lastPacket();
    SimConnect_AIRemoveObject(h, 4242, 105);
    const DWORD removeUnknown = p.lastPacket();
    sim().expectViolation("AIRemoveObject aimed at foreign object");
    sim().expectViolation("AIReleaseControl aimed at the user aircraft");
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{
                                  {24, removeForeign, 1}, {24, releaseUser, 1}, {3, removeUnknown, 1}}));
    EXPECT_TRUE(sim().object(foreign));
    EXPECT_FALSE(sim().object(foreign)->released);
}

TEST_F(SimCreation, FlightPlansAreReadAtCallTime)
{
    tvxtest::TempFolder tmp;
    sim().addTitle("Known A320");
    SimProbe p;
    HANDLE h = p.handle();
    create(p, "Known A320", "DLH9");
    ASSERT_TRUE(sim().frame());
    const std::uint32_t id = sim().objectByAtcId("DLH9")->id;
    const std::string plan = "<?xml version=\"1.0\"?>\n<SimBase.Document Type=\"AceXML\" version=\"1,0\">"
                             "<FlightPlan.FlightPlan><FPType>IFR</FPType><DepartureID>EDDF</DepartureID>"
                             "<DestinationID>KJFK</DestinationID></FlightPlan.FlightPlan></SimBase.Document>\n";
    tvxtest::writeFile(tmp / "1001.pln", plan);
    tvxtest::writeFile(tmp / "broken.pln", "<SimBase.Document></SimBase.Document>");
    // Without an extension ".pln" is added, as the simulator does.
    SimConnect_AISetAircraftFlightPlan(h, id, (tmp.path() / "1001").string().c_str(), 110);
    ASSERT_TRUE(sim().object(id)->plan);
    EXPECT_EQ(sim().object(id)->plan->fpType, "IFR");
    EXPECT_EQ(sim().object(id)->plan->departure, "EDDF");
    EXPECT_EQ(sim().object(id)->plan->destination, "KJFK");
    // The file may go right after the call: the plan was captured.
    std::filesystem::remove(tmp / "1001.pln");
    EXPECT_EQ(sim().object(id)->plan->text, plan);

    std::vector<std::array<DWORD, 3>> expected;
    SimConnect_AISetAircraftFlightPlan(h, id, (tmp.path() / "broken.pln").string().c_str(), 110);
    expected.push_back({23, p.lastPacket(), 2});
    SimConnect_AISetAircraftFlightPlan(h, id, (tmp.path() / "missing.pln").string().c_str(), 110);
    expected.push_back({23, p.lastPacket(), 2});
    tvxtest::writeFile(tmp / "1001.pln", plan);
    sim().failFlightPlans(true);
    SimConnect_AISetAircraftFlightPlan(h, id, (tmp.path() / "1001.pln").string().c_str(), 110);
    expected.push_back({23, p.lastPacket(), 2});
    ASSERT_TRUE(sim().deliver());
    EXPECT_EQ(p.exceptions(), expected);
}

TEST_F(SimCreation, ClientEventsApplyAndRecordGroupMembership)
{
    sim().addTitle("Known A320");
    SimProbe p;
    HANDLE h = p.handle();
    const std::pair<DWORD, const char*> events[] = {
        {206, "BEACON_LIGHTS_SET"}, {207, "NAV_LIGHTS_SET"}, {213, "ALL_LIGHTS_TOGGLE"},
        {217, "FLAPS_SET"}, {219, "GEAR_SET"}, {220, "ENGINE_AUTO_START"}, {222, "THROTTLE_SET"}};
    for (const auto& [id, name] : events)
        SimConnect_MapClientEventToSimEvent(h, id, name);
    for (const auto& [id, name] : events)
        if (id != 220)
            SimConnect_AddClientEventToNotificationGroup(h, 301, id, TRUE);
    SimConnect_SetNotificationGroupPriority(h, 301, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
    SimConnect_MapClientEventToSimEvent(h, 230, "LIGHTS_PARTY_SET");  // unknown: exception 7
    const DWORD unknownEvent = p.lastPacket();
    create(p, "Known A320", "EZY7");
    ASSERT_TRUE(sim().frame());
    const std::uint32_t id = sim().objectByAtcId("EZY7")->id;
    SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0);
    SimConnect_TransmitClientEvent(h, id, 213, 0, 301, 0);  // nav off, everything else on
    SimConnect_TransmitClientEvent(h, id, 217, 10240, 301, 0);
    SimConnect_TransmitClientEvent(h, id, 219, 0, 301, 0);
    SimConnect_TransmitClientEvent(h, id, 220, 0, 301, 0);
    SimConnect_TransmitClientEvent(h, id, 222, 20000, 301, 0);
    sim().expectViolation("event data 20000 outside 0..16383");
    ASSERT_TRUE(sim().deliver());
    const auto o = *sim().object(id);
    EXPECT_FALSE(o.lights.nav);
    EXPECT_TRUE(o.lights.beacon && o.lights.landing && o.lights.taxi && o.lights.strobes && o.lights.logo &&
                o.lights.cabin);
    EXPECT_EQ(o.toggles, 1);
    EXPECT_EQ(o.flaps, 10240u);
    EXPECT_FALSE(o.gearDown);
    EXPECT_TRUE(o.enginesRunning);
    const auto recorded = sim().clientEvents(id);
    ASSERT_EQ(recorded.size(), 6u);
    EXPECT_TRUE(recorded[0].inGroup);
    EXPECT_EQ(recorded[4].simEvent, "ENGINE_AUTO_START");
    EXPECT_FALSE(recorded[4].inGroup);  // sent with group 301 while not a member
    EXPECT_EQ(sim().groupMembers(301).size(), 6u);
    EXPECT_EQ(sim().groupPriority(301), 1u);
    EXPECT_EQ(p.exceptions(), (std::vector<std::array<DWORD, 3>>{{7, unknownEvent, 2}}));
}

TEST_F(SimCreation, ObjectAddedCanLagBehindTheCreation)
{
    Config c;
    c.objectAddedDelayFrames = 2;
    sim().reset(c);
    sim().addTitle("Known A320");
    SimProbe p;
    subscribe(p.handle());
    ASSERT_TRUE(sim().deliver());
    p.clear();
    create(p, "Known A320", "LAG1");
    ASSERT_TRUE(sim().frame());
    EXPECT_TRUE(sim().objectByAtcId("LAG1"));  // the object exists at once...
    EXPECT_EQ(p.recordsOf(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).size(), 1u);
    ASSERT_TRUE(sim().frame());
    EXPECT_TRUE(p.recordsOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE).empty());  // ...its announcement lags
    ASSERT_TRUE(sim().frame());
    EXPECT_EQ(p.recordsOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE).size(), 1u);
}
