// Removal and selection: gf_removeAct by state, the purges of queued creations and the exit walk,
// the three-slot gate, stand lookups and blocking, the selection by callsign, making room for a
// new live aircraft, the wanted parked count, the parking controls and the configuration events.
#include <gtest/gtest.h>

#include "foundation/random.h"
#include "foundation/settings.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "live_fixture.h"
#include "simulator/sim_ids.h"
#include "win32/win_api.h"
#include "win32/window_model.h"

namespace {

using tvxtest::liveRecord;
using tvxtest::LiveTrafficTest;

constexpr double kNm = 1.0 / 60.0;  // degrees of latitude per nautical mile

class Removal : public LiveTrafficTest {
protected:
    static void addStands(std::uint32_t count)
    {
        for (std::uint32_t i = 1; i <= count; ++i) {
            g_parkPositions.emplace_back("G" + std::to_string(i), std::vector<ParkPosOption>{}, 47.0 + i * 0.001, 8.0,
                                         0.0, 30.0, false, false, false);
            g_parkPositions.back().standId = i;
        }
    }
    static std::vector<ClientEventCmd> events()
    {
        std::lock_guard lock(g_simConnectMutex);
        return g_clientEventCmds;
    }
    static void clearEvents()
    {
        std::lock_guard lock(g_simConnectMutex);
        g_clientEventCmds.clear();
    }
    static CreateAcCmd command(const std::string& callsign, std::uint32_t hexid)
    {
        CreateAcCmd cmd;
        cmd.callsign = callsign;
        cmd.hexid = hexid;
        return cmd;
    }
    LiveAc& placedAt(double distanceNm, std::uint32_t hexid)
    {
        LiveAc& ac = addLiveAc(liveRecord(hexid, "P" + std::to_string(hexid), "B738", 100.0), AcState::Placed);
        ac.sim.lat = distanceNm * kNm;
        ac.sim.lon = 0.0;
        ac.objectId = 2000 + hexid;
        return ac;
    }
};

TEST_F(Removal, RemoveActAtStandTwelve)
{
    addStands(12);
    for (auto& stand : g_parkPositions)
        stand.occupied = true;
    LiveAc& ac = addLiveAc(liveRecord(0x100001, "KLM1", "B738", 100.0), AcState::Placed);
    ac.standId = 12;
    ac.objectId = 1234;

    gf_removeAct(ac);
    EXPECT_FALSE(g_parkPositions[11].occupied);
    EXPECT_TRUE(g_parkPositions[10].occupied);
    EXPECT_EQ(ac.state, AcState::BeingRemoved);
    EXPECT_EQ(ac.removeOnCreation, 0);
    EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{1234}));

    // Again (a second rule removes it too): the simulator is asked once, as a second request for an
    // object it has removed is refused.
    gf_removeAct(ac);
    EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{1234}));
    // A plan that marks an aircraft as being removed before it carries the removal out still asks.
    LiveAc& marked = addLiveAc(liveRecord(0x100002, "KLM2", "B738", 100.0), AcState::BeingRemoved);
    marked.objectId = 1235;
    gf_removeAct(marked);
    EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{1234, 1235}));
}

TEST_F(Removal, RemoveActByState)
{
    addStands(2);
    g_parkPositions[0].occupied = true;
    LiveAc& buffering = addLiveAc(liveRecord(0x100001, "A1", "B738", 100.0), AcState::Buffering);
    buffering.standId = 1;
    gf_removeAct(buffering);
    EXPECT_EQ(buffering.removeMark, 1);
    EXPECT_EQ(buffering.state, AcState::Buffering);
    EXPECT_TRUE(g_parkPositions[0].occupied);
    EXPECT_TRUE(g_removeRequests.empty());

    // Creation requested, object not there yet: state 4, removed as soon as the object exists.
    LiveAc& requested = g_liveAc.emplace_back(g_liveAc.front());
    requested.state = AcState::CreationRequested;
    requested.removeMark = 0;
    gf_removeAct(requested);
    EXPECT_EQ(requested.state, AcState::BeingRemoved);
    EXPECT_EQ(requested.removeOnCreation, 1);
    EXPECT_FALSE(g_parkPositions[0].occupied);
    EXPECT_TRUE(g_removeRequests.empty());
    EXPECT_NE(logText().find("===> removing act A1"), std::string::npos) << logText();
    EXPECT_NE(logText().find("with objectid=0 ?"), std::string::npos);
}

TEST_F(Removal, RemovingTheSelectedAircraftClearsTheSelection)
{
    g_optCallsign2Objectid.set("KLM1");
    g_selectedObjectId.store(1234);
    gf_updatePainted([](PaintedValues& p) { p.selectedText = "= 1234"; });

    // An aircraft without object never counts as the selection.
    LiveAc& pending = addLiveAc(liveRecord(0x100002, "KLM2", "B738", 100.0), AcState::CreationRequested);
    g_selectedObjectId.store(0);
    gf_removeAct(pending);
    EXPECT_EQ(g_optCallsign2Objectid.value(), "KLM1");
    g_selectedObjectId.store(1234);

    LiveAc& ac = addLiveAc(liveRecord(0x100001, "KLM1", "B738", 100.0), AcState::Placed);
    ac.objectId = 1234;
    gf_removeAct(ac);
    EXPECT_EQ(g_selectedObjectId.load(), 0u);
    EXPECT_EQ(gf_paintedValues().selectedText, "");
    EXPECT_EQ(g_optCallsign2Objectid.value(), "");
}

TEST_F(Removal, DropQueuedCreationsOfACallsign)
{
    for (std::uint32_t h = 1; h <= 4; ++h)
        addLiveAc(liveRecord(h + 0x100000, "C" + std::to_string(h), "B738", 100.0), AcState::CreationRequested);
    g_liveCreateRequests = {command("X", 0x100001), command("Y", 0x100002), command("X", 0x100003)};

    EXPECT_FALSE(gf_dropQueuedLiveCreations("Z"));
    EXPECT_EQ(g_liveCreateRequests.size(), 3u);

    EXPECT_TRUE(gf_dropQueuedLiveCreations("X"));
    ASSERT_EQ(g_liveCreateRequests.size(), 1u);
    EXPECT_EQ(g_liveCreateRequests[0].callsign, "Y");
    // 1 erased by moving 4 into its place, then 3 (now last) erased.
    ASSERT_EQ(g_liveAc.size(), 2u);
    EXPECT_EQ(g_liveAc[0].hexid, 0x100004u);
    EXPECT_EQ(g_liveAc[1].hexid, 0x100002u);

    StaticAc parked;
    parked.hexid = 17;
    g_staticAc = {parked};
    g_staticCreateRequests = {command("S*", 17), command("T*", 18)};
    EXPECT_TRUE(gf_dropQueuedStaticCreations("S*"));
    EXPECT_TRUE(g_staticAc.empty());
    ASSERT_EQ(g_staticCreateRequests.size(), 1u);
    EXPECT_EQ(g_staticCreateRequests[0].callsign, "T*");
}

TEST_F(Removal, ExitWalkNeverSkipsAnAircraft)
{
    // Dropping the first aircraft's queued request moves the last one into its place.
    LiveAc& queued = addLiveAc(liveRecord(0x100001, "Q1", "B738", 100.0), AcState::CreationRequested);
    queued.objectId = 0;
    LiveAc& placed = addLiveAc(liveRecord(0x100002, "P2", "B738", 100.0), AcState::Placed);
    placed.objectId = 2002;
    addLiveAc(liveRecord(0x100003, "S3", "B738", 100.0), AcState::CreationRequested);  // already sent
    LiveAc& last = addLiveAc(liveRecord(0x100004, "P4", "B738", 100.0), AcState::Placed);
    last.objectId = 2004;
    g_liveCreateRequests = {command("Q1", 0x100001)};

    gf_removeAllLiveAc();
    ASSERT_EQ(g_liveAc.size(), 3u);
    std::map<std::uint32_t, const LiveAc*> byHexid;
    for (const auto& ac : g_liveAc)
        byHexid[ac.hexid] = &ac;
    EXPECT_EQ(byHexid.count(0x100001), 0u);
    EXPECT_EQ(byHexid[0x100002]->state, AcState::BeingRemoved);
    EXPECT_EQ(byHexid[0x100004]->state, AcState::BeingRemoved);
    EXPECT_EQ(byHexid[0x100003]->removeOnCreation, 1);
    EXPECT_EQ(g_removeRequests.size(), 2u);

    gf_flushRemoveRequests();
    EXPECT_TRUE(g_removeRequests.empty());
    std::lock_guard lock(g_simConnectMutex);
    EXPECT_EQ(g_removeAcCmds.size(), 2u);
}

TEST_F(Removal, OncePerThreeSlots)
{
    const auto at = [](std::uint32_t slot) { return gf_makeDaySlot(3, slot); };
    EXPECT_TRUE(gf_allowOncePer3Slots(at(46), 7, false));
    EXPECT_FALSE(gf_allowOncePer3Slots(at(46), 7, false));
    EXPECT_FALSE(gf_allowOncePer3Slots(at(47), 7, false));
    EXPECT_FALSE(gf_allowOncePer3Slots(at(0), 7, false));
    EXPECT_TRUE(gf_allowOncePer3Slots(at(1), 7, false));
    // Forced: always allowed, and the stored slot moves.
    EXPECT_TRUE(gf_allowOncePer3Slots(at(2), 7, true));
    EXPECT_FALSE(gf_allowOncePer3Slots(at(4), 7, false));
    EXPECT_TRUE(gf_allowOncePer3Slots(at(5), 7, false));
    // Another id has its own gate.
    EXPECT_TRUE(gf_allowOncePer3Slots(at(5), 8, false));
    EXPECT_EQ(g_arrivedLiveAc.size(), 2u);
}

TEST_F(Removal, StandLookupsAndBlocking)
{
    addStands(4);
    g_parkPositions[0].overlapping = {2, 4, 9};
    EXPECT_EQ(gf_findStand("G3"), g_parkPositions.begin() + 2);
    EXPECT_EQ(gf_findStand("G9"), g_parkPositions.end());
    EXPECT_EQ(gf_standName(0), "sid==0?");
    EXPECT_EQ(gf_standName(2), "G2");
    EXPECT_EQ(gf_standName(9), "unknown");

    gf_blockStands(g_parkPositions[0]);
    EXPECT_TRUE(g_parkPositions[0].taken);
    EXPECT_FALSE(g_parkPositions[0].blocked);
    EXPECT_TRUE(g_parkPositions[1].blocked);
    EXPECT_FALSE(g_parkPositions[2].blocked);
    EXPECT_TRUE(g_parkPositions[3].blocked);
    EXPECT_FALSE(g_parkPositions[1].taken);
}

TEST_F(Removal, SelectByCallsign)
{
    LiveAc& pending = addLiveAc(liveRecord(0x100001, "KLM1", "B738", 100.0), AcState::CreationRequested);
    pending.objectId = 0;
    LiveAc& placed = addLiveAc(liveRecord(0x100002, "KLM1", "B738", 100.0), AcState::Placed);
    placed.objectId = 4711;

    gf_selectAcByCallsign();  // empty text: nothing selected, nothing reported
    EXPECT_EQ(g_selectedObjectId.load(), 0u);
    EXPECT_EQ(gf_statusLineText(), "");

    g_optCallsign2Objectid.set("KLM1");
    gf_selectAcByCallsign();
    EXPECT_EQ(g_selectedObjectId.load(), 4711u);
    EXPECT_EQ(gf_paintedValues().selectedText, "= 4711");

    g_optCallsign2Objectid.set("DLH9");
    gf_selectAcByCallsign();
    EXPECT_EQ(g_selectedObjectId.load(), 0u);
    EXPECT_EQ(gf_paintedValues().selectedText, "");
    EXPECT_EQ(gf_statusLineText(), "callsign \"DLH9\" is unknown");
    EXPECT_NE(logText().find("callsign \"DLH9\" is unknown"), std::string::npos);
    gf_clearStatusLine();
}

TEST_F(Removal, RemoveFarthestMakesRoomOnlyForANearerNewcomer)
{
    g_userAcCopy.latitude = 0.0;
    g_userAcCopy.longitude = 0.0;
    EXPECT_TRUE(gf_removeFarthestLiveAc(10.0));  // no live aircraft

    LiveAc& near = placedAt(10.05, 1);
    EXPECT_TRUE(gf_removeFarthestLiveAc(10.0));  // not more than 0.1 nm beyond
    EXPECT_EQ(near.state, AcState::Placed);

    placedAt(12.0, 2);
    EXPECT_FALSE(gf_removeFarthestLiveAc(10.0));
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[0].state, AcState::Placed);
    EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{2002}));

    // Nearer differences than 0.1 nm keep the earlier candidate.
    g_liveAc.clear();
    g_removeRequests.clear();
    placedAt(12.0, 3);
    placedAt(12.05, 4);
    LiveAc& buffering = placedAt(20.0, 5);
    buffering.state = AcState::Buffering;  // only placed aircraft count
    EXPECT_FALSE(gf_removeFarthestLiveAc(10.0));
    EXPECT_EQ(g_liveAc[0].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[1].state, AcState::Placed);

    // A distance that is not a number drops the newcomer and removes nothing.
    g_removeRequests.clear();
    EXPECT_TRUE(gf_removeFarthestLiveAc(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(g_removeRequests.empty());
}

TEST_F(Removal, WantedParkedCount)
{
    struct Case {
        std::uint32_t stands;
        std::int32_t percentage, customPercentage, maxPark;
        int wanted;
        std::int32_t shown;
    };
    const std::vector<Case> cases{
        {2, 30, -1, -1, 1, 30},  {10, 30, -1, -1, 3, 30}, {10, 30, -1, 2, 2, 20}, {3, 50, -1, -1, 2, 50},
        {3, 49, -1, -1, 1, 49},  {4, 30, -1, -1, 1, 30},  {10, 30, 80, -1, 8, 80}, {0, 30, -1, -1, 1, 30},
        {0, 30, -1, 2, 1, 0},    {1, 100, -1, -1, 1, 100}, {10, 0, -1, -1, 0, 0},   {10, 30, 0, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stands << " stands, " << c.percentage << "%, custom "
                                        << c.customPercentage << ", max park " << c.maxPark);
        g_parkPositions.clear();
        addStands(c.stands);
        g_optParkingPercentage.set(c.percentage);
        g_optCustomParkingPercentage.set(c.customPercentage);
        g_optCustomMaxPark.set(c.maxPark);
        EXPECT_EQ(gf_wantedParkedCount(), c.wanted);
        EXPECT_EQ(g_wantedParkedShown.load(), c.wanted);
        EXPECT_EQ(g_parkingPercentageShown.load(), c.shown);
    }
}

TEST_F(Removal, ParkingControlsOffAndOn)
{
    // The headless window with one control per setting that the parking work switches.
    GuiControl* const parking[] = {&g_optParkingPercentage, &g_optInitialLoadOnly, &g_optParkFake,
                                   &g_optParkSoft,          &g_optCustomMaxPark,   &g_optRtParktrafficOnly,
                                   &g_optMaxFitFl,          &g_optWeek,            &g_btnFlushStatic,
                                   &g_btnRereadParkAirports};
    GuiControl& untouched = g_optLateralRange;
    const HWND parent = CreateWindowExW(0, L"STATIC", L"Tavix", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    for (GuiControl* control : parking)
        control->setHwnd(CreateWindowExW(0, L"BUTTON", L"", 0, 0, 0, 10, 10, parent,
                                         reinterpret_cast<HMENU>(static_cast<std::intptr_t>(control->controlId())),
                                         nullptr, nullptr));
    untouched.setHwnd(CreateWindowExW(0, L"EDIT", L"", 0, 0, 0, 10, 10, parent,
                                      reinterpret_cast<HMENU>(static_cast<std::intptr_t>(untouched.controlId())),
                                      nullptr, nullptr));
    const auto enabled = [](const GuiControl& c) { return win32::windowModel().enabled(c.controlId()); };

    gf_setStatusLine("working");
    gf_disableControls();
    EXPECT_TRUE(g_controlsBusy.load());
    EXPECT_EQ(gf_statusLineText(), "");
    for (const GuiControl* control : parking)
        EXPECT_FALSE(enabled(*control)) << control->controlId();
    EXPECT_TRUE(enabled(untouched));

    gf_setStatusLine("still working");
    gf_enableControls();
    EXPECT_FALSE(g_controlsBusy.load());
    EXPECT_EQ(g_firstCountdown.load(), 19);
    EXPECT_EQ(gf_statusLineText(), "");
    for (const GuiControl* control : {static_cast<GuiControl*>(&g_optCustomMaxPark),
                                      static_cast<GuiControl*>(&g_optRtParktrafficOnly),
                                      static_cast<GuiControl*>(&g_btnFlushStatic),
                                      static_cast<GuiControl*>(&g_btnRereadParkAirports)})
        EXPECT_TRUE(enabled(*control)) << control->controlId();

    for (GuiControl* control : parking)
        control->setHwnd(nullptr);
    untouched.setHwnd(nullptr);
    win32::windowModel().reset();
}

TEST_F(Removal, FlapsThrottleAndGearEvents)
{
    StaticAc ac(gf_makeAcData(liveRecord(1, "A", "B738", 0.0)), 0, 0.0, 0.0, 0.0, 0);
    ac.objectId = 1001;
    gf_setFlaps(ac, 4);  // a fresh aircraft has index 4: nothing sent
    EXPECT_TRUE(events().empty());
    gf_setFlaps(ac, 0);
    gf_setFlaps(ac, 1);
    gf_setFlaps(ac, 1);
    gf_setFlaps(ac, 4);  // sends 0 (flaps up) since the index was not 4
    auto sent = events();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].eventId, simid::FLAPS_SET);
    EXPECT_EQ(sent[0].data, 0u);
    EXPECT_EQ(sent[1].data, 3072u);
    EXPECT_EQ(sent[2].data, 0u);
    EXPECT_EQ(sent[2].objectId, 1001u);
    EXPECT_EQ(ac.flapsIndex, 4u);
    clearEvents();

    gf_setThrottle(ac, 5);  // fresh: 5 already
    gf_setThrottle(ac, 4);
    gf_setThrottle(ac, 5);  // nothing sent, 5 stored
    gf_setThrottle(ac, 4);  // sent again
    gf_setThrottle(ac, 2);
    sent = events();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].eventId, simid::THROTTLE_SET);
    EXPECT_EQ(sent[0].data, 16383u);
    EXPECT_EQ(sent[1].data, 16383u);
    EXPECT_EQ(sent[2].data, 8191u);
    EXPECT_EQ(ac.throttleIndex, 2u);
    clearEvents();

    gf_setGear(ac, true);
    gf_setGear(ac, true);
    gf_setGear(ac, false);
    sent = events();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].eventId, simid::GEAR_SET);
    EXPECT_EQ(sent[1].data, 1u);
    EXPECT_EQ(sent[2].data, 0u);
    clearEvents();

    try {
        gf_setFlaps(ac, 5);
        FAIL() << "flaps index 5 was taken";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid array<T, N> subscript");
    }
    EXPECT_THROW(gf_setThrottle(ac, 6), std::out_of_range);

    // Rotorcraft: no flaps or gear, the flaps index stays; throttle is sent for every class.
    StaticAc heli(gf_makeAcData(liveRecord(2, "H", "EC35", 0.0)), 0, 0.0, 0.0, 0.0, 0);
    gf_setFlaps(heli, 1);
    gf_setGear(heli, true);
    EXPECT_EQ(heli.flapsIndex, 4u);
    EXPECT_TRUE(events().empty());
    gf_setThrottle(heli, 3);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].data, 11468u);
}

TEST_F(Removal, ParkConfigurationSequence)
{
    StaticAc ac(gf_makeAcData(liveRecord(1, "A", "B738", 0.0)), 3, 0.0, 0.0, 0.0, 1);  // cargo stand
    ac.objectId = 1001;
    g_optNavLightsWhileParked.set(true);
    gf_parkConfiguration(ac);
    const auto sent = events();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
    for (const auto& e : sent)
        got.emplace_back(e.eventId, e.data);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
        {simid::THROTTLE_SET, 0},       {simid::FLAPS_SET, 0},          {simid::ENGINE_AUTO_SHUTDOWN, 0},
        {simid::NAV_LIGHTS_SET, 1},     {simid::BEACON_LIGHTS_SET, 0},  {simid::LANDING_LIGHTS_SET, 0},
        {simid::TAXI_LIGHTS_SET, 0},    {simid::STROBES_SET, 0},        {simid::LOGO_LIGHTS_SET, 1},
        {simid::CABIN_LIGHTS_SET, 0}};
    EXPECT_EQ(got, expected);

    // Not a cargo stand: cabin lights on about nine times in ten; nav lights follow the option.
    g_optNavLightsWhileParked.set(false);
    gf_seedRng(1234);
    int cabinOn = 0;
    for (int i = 0; i < 1000; ++i) {
        clearEvents();
        StaticAc pax(gf_makeAcData(liveRecord(2, "B", "B738", 0.0)), 4, 0.0, 0.0, 0.0, 0);
        gf_parkConfiguration(pax);
        const auto e = events();
        ASSERT_EQ(e.size(), 10u);
        EXPECT_EQ(e[3].data, 0u);
        cabinOn += e[9].data == 1 ? 1 : 0;
    }
    EXPECT_GT(cabinOn, 850);
    EXPECT_LT(cabinOn, 950);
}

}  // namespace
