// The simulator-event queue applied on the main loop: each kind against the aircraft containers,
// the drain that drops a throwing record without repeating it, and the waits of the pending-object
// queue. No simulator is needed here: records are posted as the SimConnect thread would.
#include <filesystem>
#include <stdexcept>

#include "foundation/format.h"
#include "frame/status.h"
#include "model/stand_model.h"
#include "simulator/flight_plan.h"
#include "simulator/removal.h"
#include "support/simlink_fleet.h"
#include "support/temp_folder.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace tvxtest;

namespace {

class SimEventsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        g_liveAc.clear();
        g_staticAc.clear();
        g_simEvents.clear();
        g_pendingObjects.clear();
        g_removeRequests.clear();
        g_parkPositions.clear();
    }
    SettingsSandbox settings;
    RecordedLifecycle lifecycle;
};

SimEvent eventOf(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid, double v1 = 0, double v2 = 0)
{
    return SimEvent{objectId, hexid, 0, kind, v1, v2};
}

TEST_F(SimEventsTest, StaticGroundDataLimits)
{
    struct Row {
        double cg, pitchDeg;
        double expectedCg, expectedPitchRad;
    };
    constexpr double deg = 0.017453292519943295;
    for (const Row& r : {Row{0.5, -0.5, 6.0, -0.5 * deg}, Row{1.0, -1.0, 1.0, 0.012217304763960306},
                         Row{35.0, 2.5, 35.0, 2.5 * deg}, Row{35.1, 2.6, 6.0, 0.012217304763960306}}) {
        g_liveAc.clear();
        LiveAc& ac = addLiveAc(0x400000, "BAW1", AcState::Placed);
        ac.objectId = 1001;
        ac.staticCgHeight = 6.0;
        lf_handleSimEvent(eventOf(SIM_EVENT_STATIC_GROUND, 1001, 0, r.cg, r.pitchDeg * deg));
        EXPECT_DOUBLE_EQ(g_liveAc[0].staticCgHeight, r.expectedCg) << r.cg;
        EXPECT_NEAR(g_liveAc[0].staticPitch, r.expectedPitchRad, 1e-15) << r.pitchDeg;
    }
}

TEST_F(SimEventsTest, GroundDataOnlyForOwnLiveAircraft)
{
    LiveAc& ac = addLiveAc(0x400001, "BAW2", AcState::Placed);
    ac.objectId = 1002;
    ac.landing = 1;
    ac.staticCgHeight = 9.0;
    lf_handleSimEvent(eventOf(SIM_EVENT_GROUND_DATA, 4711, 1, 364.0, 0.0));  // not ours
    EXPECT_DOUBLE_EQ(g_liveAc[0].heightAboveGround, 2500.0);
    lf_handleSimEvent(eventOf(SIM_EVENT_GROUND_DATA, 1002, 0, 364.0, 800.0));  // airborne
    EXPECT_DOUBLE_EQ(g_liveAc[0].heightAboveGround, 800.0);
    EXPECT_FALSE(g_liveAc[0].motion.groundAltKnown);
    lf_handleSimEvent(eventOf(SIM_EVENT_GROUND_DATA, 1002, 1, 364.0, 9.0));  // touchdown
    EXPECT_TRUE(g_liveAc[0].onGround);
    EXPECT_TRUE(g_liveAc[0].motion.landed);
    // The ground altitude is the static CG height plus the reported ground altitude, once.
    EXPECT_TRUE(g_liveAc[0].motion.groundAltKnown);
    EXPECT_DOUBLE_EQ(g_liveAc[0].motion.groundAlt, 373.0);
    g_liveAc[0].motion.landed = 0;
    lf_handleSimEvent(eventOf(SIM_EVENT_GROUND_DATA, 1002, 1, 400.0, 9.0));
    EXPECT_FALSE(g_liveAc[0].motion.landed) << "already on the ground: no second touchdown";
    EXPECT_DOUBLE_EQ(g_liveAc[0].motion.groundAlt, 409.0);
}

TEST_F(SimEventsTest, ObjectRemovedErasesOrRespawns)
{
    TempFolder folder;
    const auto savedFolder = g_flightPlanFolder;
    g_flightPlanFolder = folder.path();
    LiveAc& withPlan = addLiveAc(0x400002, "BAW3", AcState::BeingRemoved);
    withPlan.objectId = 1003;
    withPlan.flightPlanSet = 1;
    writeFile(folder / "1003.pln", "<plan/>");
    LiveAc& respawning = addLiveAc(0x400003, "BAW4", AcState::Respawning);
    respawning.objectId = 1004;
    respawning.throttleIndex = 2;
    respawning.flapsIndex = 1;
    StaticAc& parked = addStaticAc(17, "EWG1*");
    parked.objectId = 1005;

    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1003, 0));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1004, 0));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1005, 0));
    gf_SimCommands();
    EXPECT_FALSE(std::filesystem::exists(folder / "1003.pln"));
    EXPECT_EQ(findLive(0x400002), nullptr);
    LiveAc* back = findLive(0x400003);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->state, AcState::Buffering);
    EXPECT_EQ(back->objectId, 0u);
    EXPECT_EQ(back->throttleIndex, 5u);
    EXPECT_EQ(back->flapsIndex, 4u);
    EXPECT_THAT(g_staticAc, IsEmpty());
    g_flightPlanFolder = savedFolder;
}

TEST_F(SimEventsTest, BlockedCallsignByState)
{
    addLiveAc(0x400004, "RYR1", AcState::Buffering);
    LiveAc& placed = addLiveAc(0x400005, "RYR2", AcState::Placed);
    placed.objectId = 1006;
    addLiveAc(0x400006, "RYR3", AcState::CreationRequested);
    for (std::uint32_t hexid : {0x400004u, 0x400005u, 0x400006u})
        gf_postSimEvent(eventOf(SIM_EVENT_CALLSIGN_BLOCKED, 0, hexid));
    gf_SimCommands();
    EXPECT_EQ(findLive(0x400004)->removeMark, 1);
    EXPECT_EQ(findLive(0x400005)->state, AcState::BeingRemoved);
    EXPECT_THAT(g_removeRequests, ElementsAre(1006u));
    EXPECT_EQ(findLive(0x400006)->state, AcState::CreationRequested) << "a creation under way is left";
    EXPECT_TRUE(settings.logText().find("will be removed from buffer while blocked") != std::string::npos);
    EXPECT_TRUE(settings.logText().find("removed from simulator immediately while blocked") != std::string::npos);
}

TEST_F(SimEventsTest, ThrowingRecordIsDroppedOnceAndTheRestApplied)
{
    // KLM1 has no records: taking its object throws.
    addLiveAc(0x400007, "KLM1").stream.clear();
    addLiveAc(0x400008, "KLM2");
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1007, 0x400007));
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1008, 0x400008));
    gf_SimCommands();
    EXPECT_EQ(findLive(0x400008)->objectId, 1008u);
    EXPECT_THAT(lifecycle.created(), ElementsAre(0x400008u));
    const std::string line = "gf_SimCommands: invalid deque<T> subscript";
    EXPECT_NE(settings.logText().find(line), std::string::npos) << settings.logText();
    gf_SimCommands();
    const std::string log = settings.logText();
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << "nothing is applied twice";
    EXPECT_THAT(lifecycle.created(), ElementsAre(0x400008u));
    EXPECT_THAT(g_simEvents, IsEmpty());
}

// A pending record at tick 200 whose aircraft is gone names an object of ours that nobody else
// can remove: it is queued for removal and the record ends, live and static alike. An aircraft
// removed during the lights cycle is not placed again, and its object not removed twice.
TEST_F(SimEventsTest, PendingRecordWhoseAircraftIsGoneRemovesItsObject)
{
    g_pendingObjects.push_back(SimEvent{1009, 0x400009, 200, SIM_EVENT_LIVE_OBJECT, 0, 0});
    g_pendingObjects.push_back(SimEvent{1010, 17, 200, SIM_EVENT_STATIC_OBJECT, 0, 0});
    gf_SimCommands();
    EXPECT_THAT(g_removeRequests, ElementsAre(1009u, 1010u));
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    gf_SimCommands();
    EXPECT_THAT(g_removeRequests, ElementsAre(1009u, 1010u)) << "once";
    EXPECT_THAT(lifecycle.configured(), IsEmpty());

    g_removeRequests.clear();
    addLiveAc(0x40000B, "KLM6");
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1011, 0x40000B));
    gf_SimCommands();
    gf_removeAct(*findLive(0x40000B));  // removed while its lights cycle runs
    EXPECT_THAT(g_removeRequests, ElementsAre(1011u));
    ASSERT_EQ(g_pendingObjects.size(), 1u);
    g_pendingObjects[0].tickCount = 200;
    gf_SimCommands();
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    EXPECT_THAT(lifecycle.configured(), IsEmpty());
    EXPECT_EQ(findLive(0x40000B)->state, AcState::BeingRemoved);
    EXPECT_THAT(g_removeRequests, ElementsAre(1011u));
}

// At the exit, after the main loop has ended: objects the simulator has announced but the program
// has not placed (a static one in its lights cycle, one whose record is still queued) are removed
// once each, besides the removals already asked for; other records stay queued.
TEST_F(SimEventsTest, AnnouncedObjectsNotYetPlacedAreRemovedAtTheExit)
{
    g_removeRequests.push_back(1030);
    g_pendingObjects.push_back(SimEvent{1031, 17, 120, SIM_EVENT_STATIC_OBJECT, 0, 0});
    g_pendingObjects.push_back(SimEvent{1032, 18, -1, SIM_EVENT_STATIC_OBJECT, 0, 0});  // finished
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1033, 0x40000F));
    gf_postSimEvent(eventOf(SIM_EVENT_STATIC_OBJECT, 1030, 19));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1012, 0));
    gf_removeAnnouncedObjects();
    EXPECT_THAT(g_removeRequests, ElementsAre(1030u, 1031u, 1033u));
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    ASSERT_EQ(g_simEvents.size(), 1u);
    EXPECT_EQ(g_simEvents[0].kind, SIM_EVENT_OBJECT_REMOVED);
}

// A new-object record that no waiting aircraft wants is ours all the same: the object is removed,
// and an aircraft that already has its object, placed or being removed, keeps it and its state.
// One being removed before its object came takes the object only to remove it.
TEST_F(SimEventsTest, NewObjectWithoutItsAircraftIsRemoved)
{
    LiveAc& placed = addLiveAc(0x40000C, "KLM7", AcState::Placed);
    placed.objectId = 1012;
    LiveAc& leaving = addLiveAc(0x40000D, "KLM8", AcState::BeingRemoved);
    leaving.objectId = 1013;
    LiveAc& early = addLiveAc(0x40000E, "KLM9", AcState::BeingRemoved);
    early.removeOnCreation = 1;
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1020, 0x4000FF));  // no such aircraft
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1021, 0x40000C));
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1022, 0x40000D));
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1023, 0x40000E));
    gf_SimCommands();
    EXPECT_THAT(g_removeRequests, ElementsAre(1020u, 1021u, 1022u, 1023u));
    EXPECT_EQ(findLive(0x40000C)->state, AcState::Placed);
    EXPECT_EQ(findLive(0x40000C)->objectId, 1012u);
    EXPECT_EQ(findLive(0x40000D)->state, AcState::BeingRemoved);
    EXPECT_EQ(findLive(0x40000D)->objectId, 1013u);
    EXPECT_EQ(findLive(0x40000E)->state, AcState::BeingRemoved);
    EXPECT_EQ(findLive(0x40000E)->objectId, 1023u);
    EXPECT_THAT(lifecycle.created(), IsEmpty());
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    EXPECT_TRUE(settings.logText().find("! object 1020 of hexid 4194559 has no aircraft waiting for it, removed")
                != std::string::npos);
}

// An object the simulator removed during the lights cycle ends its pending record: nothing to
// remove, nothing placed.
TEST_F(SimEventsTest, ObjectRemovedDuringTheLightsCycleEndsItsRecord)
{
    addLiveAc(0x40000F, "KLM10");
    gf_postSimEvent(eventOf(SIM_EVENT_LIVE_OBJECT, 1014, 0x40000F));
    gf_SimCommands();
    ASSERT_EQ(g_pendingObjects.size(), 1u);
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1014, 0));
    gf_SimCommands();
    EXPECT_EQ(findLive(0x40000F), nullptr);
    EXPECT_THAT(g_pendingObjects, IsEmpty());
    EXPECT_THAT(g_removeRequests, IsEmpty());
}

TEST_F(SimEventsTest, FailedCreationKeepsTheLiveryUsable)
{
    addLiveAc(0x40000A, "KLM4");
    addStaticAc(12, "KLM5*");
    gf_postSimEvent(eventOf(SIM_EVENT_CREATION_FAILED, 0, 0x40000A));
    gf_postSimEvent(eventOf(SIM_EVENT_CREATION_REFUSED, 0, 12));
    gf_SimCommands();
    EXPECT_THAT(g_liveAc, IsEmpty());
    EXPECT_THAT(g_staticAc, IsEmpty());
    EXPECT_THAT(lifecycle.refused(), ElementsAre(kKnownTitle));
    EXPECT_THAT(gf_statusLineText(), HasSubstr("KLM5* \"" + std::string(kKnownTitle) + "\" could not be created"));
}

// An aircraft erased after a refused or failed creation, or after the simulator removed its
// object, gives its stand back; one being removed gave it back already, and the stand may be
// another aircraft's since then.
TEST_F(SimEventsTest, ErasedAircraftFreesItsStand)
{
    for (std::uint32_t id = 1; id <= 5; ++id) {
        g_parkPositions.emplace_back(tvx::format("A{}", id), std::vector<ParkPosOption>{}, 50.0, 8.0 + id * 0.001,
                                     0.0, 40.0, false, false, false);
        g_parkPositions.back().standId = id;
        g_parkPositions.back().occupied = true;
    }
    addLiveAc(0x400010, "KLM11").standId = 1;
    addStaticAc(13, "KLM12*").standId = 2;
    LiveAc& placed = addLiveAc(0x400011, "KLM13", AcState::Placed);
    placed.standId = 3;
    placed.objectId = 1015;
    LiveAc& leaving = addLiveAc(0x400012, "KLM14", AcState::BeingRemoved);
    leaving.standId = 4;  // taken by another aircraft since
    leaving.objectId = 1016;
    StaticAc& parked = addStaticAc(14, "KLM15*");
    parked.standId = 5;
    parked.objectId = 1017;
    parked.state = AcState::Placed;
    gf_postSimEvent(eventOf(SIM_EVENT_CREATION_REFUSED, 0, 0x400010));
    gf_postSimEvent(eventOf(SIM_EVENT_CREATION_FAILED, 0, 13));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1015, 0));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1016, 0));
    gf_postSimEvent(eventOf(SIM_EVENT_OBJECT_REMOVED, 1017, 0));
    gf_SimCommands();
    EXPECT_THAT(g_liveAc, IsEmpty());
    EXPECT_THAT(g_staticAc, IsEmpty());
    std::vector<bool> occupied;
    for (const ParkPos& stand : g_parkPositions)
        occupied.push_back(stand.occupied);
    EXPECT_THAT(occupied, ElementsAre(false, false, false, true, false));
}

}  // namespace
