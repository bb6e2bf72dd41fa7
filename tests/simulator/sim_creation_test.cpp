// Creation of AI aircraft through the stand-in: the create call in the frame flush, the object
// announced by ObjectAdded and matched to its pending creation by ATC id in the by-type reply,
// release and freeze, the simulator event, the 200-tick lights cycle, and every way a creation
// can fail (refused title, failed call, unknown packet id, over-long callsign, removal while the
// creation is on the way, a foreign object).
#include <algorithm>

#include "simulator/removal.h"
#include "support/simlink_fleet.h"
#include "support/simlink_harness.h"

using simstandin::Call;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using namespace tvxtest;

namespace {

class SimCreationTest : public SimFlightHarness {};

TEST_F(SimCreationTest, LiveRoadFromCreateToPlacement)
{
    addLiveAc(0x3C1234, "DLH123");
    gf_queueCreateAc(createCmd(0x3C1234, "DLH123"));
    sim().frame();
    const auto creations = sim().creations();
    ASSERT_EQ(creations.size(), 1u);
    EXPECT_EQ(creations[0].tail, "DLH123");
    EXPECT_EQ(creations[0].title, kKnownTitle);
    EXPECT_EQ(creations[0].requestId, 104u);
    EXPECT_DOUBLE_EQ(creations[0].init.Heading, 270.0);  // degrees on the wire
    ASSERT_EQ(g_pendingCreations.size(), 1u);
    EXPECT_EQ(g_pendingCreations[0].packetId, creations[0].packet);

    sim().frame();  // object created, ObjectAdded delivered
    const auto object = sim().objectByAtcId("DLH123");
    ASSERT_TRUE(object);
    EXPECT_THAT(g_addedObjectIds, ElementsAre(object->id));

    requestAircraftInRange();
    sim().deliver();
    EXPECT_TRUE(sim().object(object->id)->released);
    EXPECT_THAT(g_addedObjectIds, IsEmpty());
    EXPECT_THAT(g_pendingCreations, IsEmpty());
    sim().frame();  // the three freezes go with the next flush
    const auto frozen = *sim().object(object->id);
    EXPECT_TRUE(frozen.freezeLatLon && frozen.freezeAlt && frozen.freezeAtt);

    gf_SimCommands();
    EXPECT_THAT(lifecycle.created(), ElementsAre(0x3C1234u));
    EXPECT_EQ(findLive(0x3C1234)->objectId, object->id);
    ASSERT_EQ(g_pendingObjects.size(), 1u);
    EXPECT_EQ(g_pendingObjects[0].kind, SIM_EVENT_LIVE_OBJECT);
    EXPECT_DOUBLE_EQ(g_pendingObjects[0].value2, 3000.0);  // altitude above ground (terrain 0)

    // The lights cycle: toggles at its ticks 50 and 100, placement at 200. The drain that brought
    // the record was its first tick.
    ticks(48);
    EXPECT_EQ(sim().object(object->id)->toggles, 0);
    ticks(1);
    EXPECT_EQ(sim().object(object->id)->toggles, 1);
    ticks(50);
    EXPECT_EQ(sim().object(object->id)->toggles, 2);
    ticks(100);  // the count reaches 200 ...
    EXPECT_THAT(lifecycle.configured(), IsEmpty());
    ticks(1);  // ... and the next tick places the aircraft
    EXPECT_THAT(lifecycle.configured(), ElementsAre(0x3C1234u));
    EXPECT_EQ(findLive(0x3C1234)->state, AcState::Placed);
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    ticks(300);
    EXPECT_EQ(sim().object(object->id)->toggles, 2);
    const auto toggles = sim().clientEvents(object->id);
    EXPECT_EQ(std::count_if(toggles.begin(), toggles.end(),
                            [](const auto& e) { return e.simEvent == "ALL_LIGHTS_TOGGLE" && e.group == 301; }),
              2);
}

TEST_F(SimCreationTest, StaticAircraftWithHexidZeroIsPlaced)
{
    addStaticAc(0, "EWG7*");
    const std::uint32_t id = createAndMatch(createCmd(0, "EWG7*"));
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(sim().object(id)->onGround);
    ASSERT_EQ(g_pendingObjects.size(), 1u);
    EXPECT_EQ(g_pendingObjects[0].kind, SIM_EVENT_STATIC_OBJECT);
    ticks(200);
    EXPECT_EQ(g_staticAc[0].state, AcState::Placed);
    EXPECT_EQ(g_staticAc[0].objectId, id);
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    sim().frame();
    const auto placed = *sim().object(id);
    EXPECT_EQ(placed.toggles, 0);
    EXPECT_TRUE(placed.lights.logo);
    EXPECT_FALSE(placed.lights.beacon);
    EXPECT_FALSE(placed.enginesRunning);
    EXPECT_EQ(placed.releases, 3);  // release at the match, and around FLAPS_SET
}

TEST_F(SimCreationTest, RefusedTitleErasesTheAircraftAndRefusesItsLivery)
{
    addLiveAc(0x3C0001, "DLH1");
    gf_queueCreateAc(createCmd(0x3C0001, "DLH1", kUnknownTitle));
    sim().frame(3);
    ASSERT_EQ(sim().creations().size(), 1u);
    EXPECT_EQ(sim().creations()[0].outcome, simstandin::CreationRec::Refused);
    EXPECT_THAT(g_pendingCreations, IsEmpty());
    gf_SimCommands();
    EXPECT_THAT(lifecycle.refused(), ElementsAre(kKnownTitle));
    EXPECT_EQ(findLive(0x3C0001), nullptr);
}

TEST_F(SimCreationTest, FailedCreateCallErasesWithoutRefusingTheLivery)
{
    addLiveAc(0x3C0002, "DLH2");
    sim().failCalls(Call::AICreateNonATCAircraft);
    gf_queueCreateAc(createCmd(0x3C0002, "DLH2"));
    sim().frame();
    EXPECT_TRUE(logHas(tvx::format("===> ! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", "
                                   "callsign: DLH2",
                                   0x3C0002, kKnownTitle)));
    EXPECT_EQ(g_simErrorCount.load(), 1u);
    EXPECT_THAT(g_pendingCreations, IsEmpty());
    gf_SimCommands();
    EXPECT_EQ(findLive(0x3C0002), nullptr);
    EXPECT_THAT(lifecycle.refused(), IsEmpty());
}

// Creations whose packet id could not be read: a refusal carries a send id that names no pending
// creation and matches nothing. In particular it does not take the other creation without a
// packet id, whose object then arrives and is placed as usual.
TEST_F(SimCreationTest, RefusalWithoutPacketIdMatchesNothing)
{
    addLiveAc(0x3C0003, "DLH3");
    addLiveAc(0x3C000A, "DLH10");
    sim().failCalls(Call::GetLastSentPacketID, 2);
    gf_queueCreateAc(createCmd(0x3C000A, "DLH10"));
    gf_queueCreateAc(createCmd(0x3C0003, "DLH3", kUnknownTitle));
    sim().frame();
    EXPECT_EQ(logCount("===> GetLastSentPacketID"), 2);
    ASSERT_EQ(g_pendingCreations.size(), 2u);
    EXPECT_EQ(g_pendingCreations[0].packetId, 0u);
    EXPECT_EQ(g_pendingCreations[1].packetId, 0u);
    sim().frame(2);  // exception 22 carries a packet id nobody recorded; DLH10's object comes
    requestAircraftInRange();
    sim().deliver();
    gf_SimCommands();
    const auto object = sim().objectByAtcId("DLH10");
    ASSERT_TRUE(object);
    EXPECT_THAT(lifecycle.created(), ElementsAre(0x3C000Au));
    ASSERT_NE(findLive(0x3C000A), nullptr);
    EXPECT_EQ(findLive(0x3C000A)->objectId, object->id);
    EXPECT_THAT(gf_statusLineText(), Not(HasSubstr("just spawned")));
    ASSERT_EQ(g_pendingCreations.size(), 1u);
    EXPECT_EQ(g_pendingCreations[0].callsign, "DLH3");
    EXPECT_EQ(findLive(0x3C0003)->state, AcState::CreationRequested);
    EXPECT_THAT(lifecycle.refused(), IsEmpty());
}

TEST_F(SimCreationTest, CallsignLongerThanATailNumberIsDropped)
{
    addLiveAc(0x3C0004, "ABCDEFGHIJKLM");
    gf_queueCreateAc(createCmd(0x3C0004, "ABCDEFGHIJKLM"));
    sim().frame();
    EXPECT_THAT(sim().creations(), IsEmpty());
    EXPECT_TRUE(logHas("callsign ABCDEFGHIJKLM longer than 12 characters"));
    gf_SimCommands();
    EXPECT_EQ(findLive(0x3C0004), nullptr);
}

TEST_F(SimCreationTest, SameCallsignTwiceInOneFrame)
{
    addLiveAc(0x3C0005, "ABC1");
    addLiveAc(0x3C0006, "ABC1");
    gf_queueCreateAc(createCmd(0x3C0005, "ABC1"));
    CreateAcCmd second = createCmd(0x3C0006, "ABC1");
    second.initPos.Longitude += 0.05;
    gf_queueCreateAc(second);
    sim().frame(2);
    requestAircraftInRange();
    sim().deliver();
    gf_SimCommands();
    EXPECT_THAT(lifecycle.created(), ElementsAre(0x3C0005u, 0x3C0006u));
    EXPECT_NE(findLive(0x3C0005)->objectId, findLive(0x3C0006)->objectId);
    EXPECT_THAT(g_pendingCreations, IsEmpty());
    sim().frame();
    for (const auto& o : sim().objects()) {
        if (o.own) {
            EXPECT_TRUE(o.released && o.freezeLatLon && o.freezeAlt && o.freezeAtt) << o.id;
        }
    }
}

TEST_F(SimCreationTest, RemovedWhileCreatingIsRemovedOnArrival)
{
    LiveAc& ac = addLiveAc(0x3C0007, "DLH7");
    gf_queueCreateAc(createCmd(0x3C0007, "DLH7"));
    sim().frame();
    gf_removeAct(ac);  // the creation is with the simulator: remove-on-creation
    ASSERT_EQ(findLive(0x3C0007)->removeOnCreation, 1);
    sim().frame();
    requestAircraftInRange();
    sim().deliver();
    gf_SimCommands();
    const auto object = sim().objectByAtcId("DLH7");
    ASSERT_TRUE(object);
    EXPECT_THAT(lifecycle.created(), IsEmpty()) << "never configured";
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    EXPECT_NE(std::find(g_removeRequests.begin(), g_removeRequests.end(), object->id),
              g_removeRequests.end());
    EXPECT_EQ(findLive(0x3C0007)->state, AcState::BeingRemoved);
    // The AI tick passes the request on; the object leaves and the aircraft is erased.
    gf_queueRemoveAc(object->id);
    sim().frame(2);
    gf_SimCommands();
    EXPECT_FALSE(sim().object(object->id));
    EXPECT_EQ(findLive(0x3C0007), nullptr);
    EXPECT_EQ(sim().creations().size(), 1u);
}

TEST_F(SimCreationTest, ForeignObjectIsReportedAndLeftAlone)
{
    const std::uint32_t id = sim().addForeignAircraft("Cessna", "N123", {kUserLat + 0.01, kUserLon, 1500.0});
    sim().frame();
    requestAircraftInRange();
    sim().deliver();
    EXPECT_THAT(gf_statusLineText(),
                HasSubstr(tvx::format("just spawned, but not by Tavix, oid: {}, callsign \"N123\"", id)));
    EXPECT_FALSE(sim().object(id)->released);
    EXPECT_THAT(g_addedObjectIds, IsEmpty()) << "never examined again";
    EXPECT_THAT(sim().clientEvents(id), IsEmpty());
}

TEST_F(SimCreationTest, GroundDataOfAircraftInRange)
{
    LiveAc& ac = addLiveAc(0x3C0008, "DLH8");
    CreateAcCmd low = createCmd(0x3C0008, "DLH8");
    low.initPos.Altitude = 2000.0;
    const std::uint32_t id = createAndMatch(low);
    ASSERT_NE(id, 0u);
    // Later scans report it as an aircraft in range: its height above ground follows.
    sim().frame();
    requestAircraftInRange();
    sim().deliver();
    gf_SimCommands();
    EXPECT_DOUBLE_EQ(findLive(0x3C0008)->heightAboveGround, 2000.0);
    (void)ac;
    // Above 2500 ft above ground, or an ATC id ending in '*': no ground data.
    const std::uint32_t high = sim().addForeignAircraft("Jet", "HIGH1", {kUserLat, kUserLon + 0.01, 9000.0});
    const std::uint32_t star = sim().addForeignAircraft("Jet", "EWG9*", {kUserLat, kUserLon + 0.02, 0.0});
    sim().frame();
    requestAircraftInRange();  // announces both (just spawned)
    sim().deliver();
    requestAircraftInRange();
    sim().deliver();
    std::lock_guard lock(g_simEventMutex);
    for (const SimEvent& e : g_simEvents)
        EXPECT_TRUE(e.objectId != high && e.objectId != star) << e.objectId;
}

TEST_F(SimCreationTest, StaticGroundDataReply)
{
    sim().addTitle("Heavy Stand-in", simstandin::TitleInfo{simstandin::ObjType::Aircraft, "B744", 12.5, -0.01});
    addLiveAc(0x3C0009, "DLH9");
    const std::uint32_t id = createAndMatch(createCmd(0x3C0009, "DLH9", "Heavy Stand-in"));
    ASSERT_NE(id, 0u);
    {
        std::lock_guard lock(g_simConnectMutex);
        SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_STATIC_GROUND, simid::DEF_STATIC_GROUND, id,
                                          SIMCONNECT_PERIOD_ONCE);
    }
    sim().deliver();
    gf_SimCommands();
    EXPECT_DOUBLE_EQ(findLive(0x3C0009)->staticCgHeight, 12.5);
    EXPECT_DOUBLE_EQ(findLive(0x3C0009)->staticPitch, -0.01);
}

}  // namespace
