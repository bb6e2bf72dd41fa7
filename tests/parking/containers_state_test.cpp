// The traffic containers: capacities reserved once per process, the exit reset that empties every
// container, removing the parked traffic, and the learned file saved when the park airport is left.
#include "parking/learned_save.h"
#include "parking/traffic_containers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include <pugixml.hpp>

#include "foundation/settings.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "parking/stand_schedule.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/duplicates.h"
#include "simulator/feed_handover.h"
#include "simulator/live_lifecycle.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_events.h"
#include "support/choice_fixture.h"
#include "support/temp_folder.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"

namespace fs = std::filesystem;
using tvxtest::ChoiceSandbox;

namespace {

LiveAc lf_live(std::uint32_t hexid, const std::string& callsign, AcState state, AcPhase phase, std::uint32_t standId = 0)
{
    LiveAc ac;
    ac.hexid = hexid;
    ac.callsign = callsign;
    ac.airline = callsign.substr(0, 3);
    ac.acType = "B738";
    ac.objectId = hexid + 100;
    ac.state = state;
    ac.phase = phase;
    ac.standId = standId;
    ac.standLat = 52.3;
    ac.standLon = 4.7;
    ac.standHeading = 1.0;
    ac.cargoStand = 1;
    return ac;
}

ParkPos lf_stand(const std::string& name, std::uint32_t id)
{
    ParkPos stand(name, {}, 52.30 + id * 0.001, 4.76, 0.5, 30.0, false, false, false);
    stand.standId = id;
    return stand;
}

ParkPosOption lf_option(std::uint32_t number, std::uint32_t source, const std::string& callsign)
{
    ParkPosOption option;
    option.airline = "KLM";
    option.type = "B738";
    option.callsign = callsign;
    option.number = number;
    option.weekday = 1;
    option.source = source;
    gf_setSlot(option.slots, 20);
    return option;
}

class Containers : public ::testing::Test {
protected:
    ChoiceSandbox m_box;
};

TEST_F(Containers, CapacitiesReservedOncePerProcess)
{
    lf_resetReservedOnce();
    tvxtest::writeFile("Callsign2ObjectId.txt", "old\n");
    gf_reserveTrafficContainers();
    EXPECT_FALSE(fs::exists("Callsign2ObjectId.txt"));

    const struct {
        const char* name;
        std::size_t capacity;
        std::size_t wanted;
    } cases[] = {
        {"g_liveStayers", g_liveStayers.capacity(), 64},   {"g_parkKeeps", g_parkKeeps.capacity(), 256},
        {"g_liveAc", g_liveAc.capacity(), 512},             {"g_staticAc", g_staticAc.capacity(), 256},
        {"g_parkPositions", g_parkPositions.capacity(), 512}, {"g_simEvents", g_simEvents.capacity(), 256},
        {"g_pendingObjects", g_pendingObjects.capacity(), 128}, {"g_spawnQueue", g_spawnQueue.capacity(), 64},
        {"g_staticParkQueue", g_staticParkQueue.capacity(), 512}, {"g_parkRemovals", g_parkRemovals.capacity(), 256},
        {"g_ghostCallsigns", g_ghostCallsigns.capacity(), 64},
    };
    for (const auto& c : cases)
        EXPECT_GE(c.capacity, c.wanted) << c.name;

    // A restart in the same process skips the set-up: the listing of the exit path is gone, a
    // new one stays, and the capacities are still there after the exit reset.
    gf_clearTrafficState();
    tvxtest::writeFile("Callsign2ObjectId.txt", "new\n");
    gf_reserveTrafficContainers();
    EXPECT_TRUE(fs::exists("Callsign2ObjectId.txt"));
    EXPECT_GE(g_liveAc.capacity(), 512u);
    EXPECT_GE(g_staticParkQueue.capacity(), 512u);
}

TEST_F(Containers, ClearTrafficStateEmptiesEverything)
{
    g_parkAirport = *gf_findAirport("EHAM");
    g_trafficClient.setParkAirportPosition(std::make_pair(52.3, 4.76));
    g_parkAirports.push_back(ParkAirport{"EHAM", "D4", 52.3, 4.76, 1.0});
    {
        std::lock_guard lock(g_simEventMutex);
        g_simEvents.push_back(SimEvent{});
        g_pendingObjects.push_back(SimEvent{});
    }
    g_ghostCallsigns.push_back("KLM1_");
    g_staticParkQueue.push_back(StaticPlanEntry{});
    g_liveryCache[7] = "title";
    g_spawnQueue.push_back(7);
    g_removeRequests.push_back(1);
    g_liveCreateRequests.push_back(CreateAcCmd{});
    g_staticCreateRequests.push_back(CreateAcCmd{});
    g_parkRemovals.push_back(ParkRemoval{"X*", 1});
    g_parkKeeps.push_back(ParkKeep{});
    g_liveStayers.push_back(LiveStayer{});
    g_staticAc.push_back(StaticAc{});
    g_liveAc.push_back(lf_live(20000, "KLM1", AcState::Placed, AcPhase::Parked));
    g_parkPositions.push_back(lf_stand("D4", 1));
    g_arrivedLiveAc.emplace_back(20000, 3);
    g_seenCallsigns.insert("DLH1");
    g_seenHexids.insert(20001);
    {
        std::lock_guard lock(g_udpMutex);
        g_udpMessages.push_back(TrafficRecord{});
    }
    tvxtest::writeFile("Callsign2ObjectId.txt", "x\n");
    g_controlsBusy.store(true);
    g_reloadParkFile = true;
    g_learnSoftAllowed = true;
    g_reservedStand = "D4";
    g_selectedObjectId.store(20100);
    g_qnh.store(990);
    g_apfHeader = ApfHeader{"Schiphol", "stock", -11};
    g_parkUpdates = 5;
    g_noMatchSet.insert("KLM B738");
    gf_updatePainted([](PaintedValues& p) {
        p.parkedCount = 9;
        p.standCount = 1;
    });

    gf_clearTrafficState();

    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_FALSE(g_trafficClient.parkAirportPosition().has_value());
    EXPECT_TRUE(g_parkAirports.empty());
    {
        std::lock_guard lock(g_simEventMutex);
        EXPECT_TRUE(g_simEvents.empty());
        EXPECT_TRUE(g_pendingObjects.empty());
    }
    EXPECT_TRUE(g_ghostCallsigns.empty());
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_TRUE(g_liveryCache.empty());
    EXPECT_TRUE(g_spawnQueue.empty());
    EXPECT_TRUE(g_removeRequests.empty());
    EXPECT_TRUE(g_liveCreateRequests.empty());
    EXPECT_TRUE(g_staticCreateRequests.empty());
    EXPECT_TRUE(g_parkRemovals.empty());
    EXPECT_TRUE(g_parkKeeps.empty());
    EXPECT_TRUE(g_liveStayers.empty());
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(g_liveAc.empty());
    EXPECT_TRUE(g_parkPositions.empty());
    EXPECT_TRUE(g_arrivedLiveAc.empty());
    EXPECT_TRUE(g_seenCallsigns.empty());
    EXPECT_TRUE(g_seenHexids.empty());
    {
        std::lock_guard lock(g_udpMutex);
        EXPECT_TRUE(g_udpMessages.empty());
        EXPECT_FALSE(g_udpAccept);
    }
    EXPECT_FALSE(fs::exists("Callsign2ObjectId.txt"));
    EXPECT_FALSE(g_controlsBusy.load());
    EXPECT_FALSE(g_reloadParkFile);
    EXPECT_FALSE(g_learnSoftAllowed);
    EXPECT_EQ(g_reservedStand, "");
    EXPECT_EQ(g_selectedObjectId.load(), 0u);
    EXPECT_EQ(g_qnh.load(), 1013);
    EXPECT_EQ(g_apfHeader.publisher, "");
    EXPECT_EQ(g_apfHeader.airportName, "");
    EXPECT_EQ(g_apfHeader.altitude, -1);
    EXPECT_EQ(g_parkUpdates, 0u);
    EXPECT_TRUE(g_noMatchSet.empty());
    EXPECT_EQ(gf_paintedValues().parkedCount, 0);
    EXPECT_EQ(gf_paintedValues().standCount, 0);
}

TEST_F(Containers, RemoveParkedTrafficTakesTheAirportsAircraft)
{
    g_parkAirport = *gf_findAirport("EHAM");
    g_parkPositions = {lf_stand("D4", 1), lf_stand("D5", 2)};
    g_staticParkQueue.push_back(StaticPlanEntry{});
    StaticAc parked;
    parked.hexid = 3;
    parked.callsign = "KLM9*";
    parked.objectId = 303;
    parked.state = AcState::Placed;
    parked.standId = 2;
    g_staticAc.push_back(parked);

    g_liveAc = {
        lf_live(20001, "KLM1", AcState::Placed, AcPhase::Parked, 1),
        lf_live(20002, "KLM2", AcState::Placed, AcPhase::Airborne),
        lf_live(20003, "KLM3", AcState::Placed, AcPhase::Taxiing),
        lf_live(20004, "KLM4", AcState::CreationRequested, AcPhase::Pushback),  // request queued
        lf_live(20005, "KLM5", AcState::CreationRequested, AcPhase::Parked),    // request sent already
    };
    CreateAcCmd queued;
    queued.callsign = "KLM4";
    queued.hexid = 20004;
    g_liveCreateRequests.push_back(queued);
    g_maxLiveOutsidePark.store(-1);
    g_optMaxLive.set(25);

    gf_removeParkedTraffic();

    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_EQ(g_staticAc.front().state, AcState::BeingRemoved) << "static aircraft go as well";
    ASSERT_EQ(g_liveAc.size(), 4u) << "the queued creation is dropped with its aircraft";
    for (const LiveAc& ac : g_liveAc) {
        const bool atAirport = ac.phase != AcPhase::Airborne;
        EXPECT_EQ(ac.standId == 0 && ac.standLat == 0.0 && ac.standLon == 0.0 && ac.standHeading == 0.0 &&
                      ac.cargoStand == 0,
                  atAirport)
            << ac.callsign;
        if (ac.callsign == "KLM5")
            EXPECT_EQ(ac.removeOnCreation, 1u);
        else if (ac.callsign == "KLM2")
            EXPECT_EQ(ac.state, AcState::Placed);
        else
            EXPECT_EQ(ac.state, AcState::BeingRemoved) << ac.callsign;
    }
    EXPECT_TRUE(g_liveCreateRequests.empty());
    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_TRUE(g_parkPositions.empty());
    EXPECT_EQ(g_optMaxLive.value(), -1) << "the limit outside a parking file comes back";
}

TEST_F(Containers, LeavingSavesOnlyWhatChanged)
{
    const auto prepare = [](const std::string& publisher, std::uint32_t updates, bool paramsChanged) {
        g_parkAirport = *gf_findAirport("EHAM");
        g_apfLoaded.store(true);
        g_apfHeader = ApfHeader{"Schiphol", publisher, -11};
        g_parkUpdates = updates;
        g_parkParamsChanged.store(paramsChanged);
        ParkPos fromFile = lf_stand("A1", 1);     // only the file's own options: not saved
        fromFile.options = {lf_option(1, 1, "KLM1")};
        ParkPos learned = lf_stand("A2", 2);      // an option learned here
        // KLM4's option dropped by the last plan search while KLM4 was in the air: still learned.
        learned.options = {lf_option(1, 1, "KLM2"), lf_option(2, 0, "KLM3"), lf_option(0, 0, "KLM4")};
        ParkPos manual = lf_stand("A3", 3);
        manual.manual = true;
        ParkPos enlarged = lf_stand("A4", 4);
        enlarged.radiusChange = true;
        ParkPos cargo = lf_stand("A5", 5);
        cargo.cargoChange = true;
        g_parkPositions = {fromFile, learned, manual, enlarged, cargo, lf_stand("A6", 6)};
    };
    const fs::path stock = fs::path("airports") / "learned" / "stock" / "EHAM.xml";

    // No change and no parameter change: no file.
    prepare("stock", 0, false);
    gf_leaveParkAirport();
    EXPECT_FALSE(fs::exists(stock));
    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_FALSE(g_apfLoaded.load());

    // One update: the learned file with the stands that carry what was learned.
    prepare("stock", 1, false);
    gf_leaveParkAirport();
    ASSERT_TRUE(fs::exists(stock));
    EXPECT_NE(m_box.logText().find(" \"airports\\learned\\stock\\EHAM.xml\" saved with 1 update \n"), std::string::npos);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(stock.c_str()));
    std::vector<std::string> ids;
    for (const pugi::xml_node stand : doc.child("parkpositions").children("parkpos"))
        ids.push_back(stand.attribute("id").as_string());
    EXPECT_EQ(ids, (std::vector<std::string>{"A2", "A3", "A4", "A5"}));
    const pugi::xml_node a2 = doc.child("parkpositions").find_child_by_attribute("parkpos", "id", "A2");
    std::vector<std::string> a2Callsigns;
    for (const pugi::xml_node opt : a2.children("opt"))
        a2Callsigns.push_back(opt.attribute("cs").as_string());
    EXPECT_EQ(a2Callsigns, (std::vector<std::string>{"KLM3", "KLM4"}));
    EXPECT_EQ(g_parkUpdates, 0u);
    EXPECT_FALSE(gf_paintedValues().flushStaticEnabled);
    EXPECT_EQ(gf_paintedValues().publisherText, "");

    // Three updates and a parameter change, a third-party publisher's folder made on the way.
    prepare("Some Maker", 3, true);
    gf_leaveParkAirport();
    EXPECT_TRUE(fs::exists(fs::path("airports") / "learned" / "thirdparty" / "Some Maker" / "EHAM.xml"));
    EXPECT_NE(m_box.logText().find(" \"airports\\learned\\thirdparty\\Some Maker\\EHAM.xml\" saved with 3 updates "
                                   "and one or more parameter changes\n"),
              std::string::npos);

    // A hand-made file keeps every stand.
    prepare("simaddon", 2, false);
    g_handmadeOverruled.store(true);
    gf_leaveParkAirport();
    const fs::path simaddon = fs::path("airports") / "learned" / "simaddon" / "EHAM.xml";
    ASSERT_TRUE(doc.load_file(simaddon.c_str()));
    EXPECT_EQ(std::distance(doc.child("parkpositions").children("parkpos").begin(),
                            doc.child("parkpositions").children("parkpos").end()),
              6);
    EXPECT_NE(m_box.logText().find(" handmade \"airports\\learned\\simaddon\\EHAM.xml\" saved with 2 updates \n"),
              std::string::npos);
    EXPECT_FALSE(g_handmadeOverruled.load());

    // A file that cannot be written is reported, and the airport is left all the same.
    fs::remove(stock);
    fs::create_directories(stock / "in the way");
    prepare("stock", 1, false);
    gf_leaveParkAirport();
    EXPECT_NE(m_box.logText().find(" saving \"airports\\learned\\stock\\EHAM.xml\" did not succeed: "
                                   + std::generic_category().message(EISDIR) + "\n"),
              std::string::npos)
        << m_box.logText();
    EXPECT_EQ(g_parkAirport.code, "");
}

TEST_F(Containers, SavedWhereTheReaderLooksButNeverOutsideTheLearnedFolder)
{
    const auto leaveWith = [](const std::string& learnedPath) {
        g_parkAirport = *gf_findAirport("EHAM");
        g_apfLoaded.store(true);
        g_apfHeader = ApfHeader{"Schiphol", "simaddon", -11, learnedPath};
        g_parkUpdates = 1;
        g_parkParamsChanged.store(false);
        ParkPos manual = lf_stand("A3", 3);
        manual.manual = true;
        g_parkPositions = {manual};
        gf_leaveParkAirport();
    };
    const fs::path byPublisher = fs::path("airports") / "learned" / "simaddon" / "EHAM.xml";

    leaveWith("airports\\learned\\my_simaddon\\EHAM.xml");
    EXPECT_TRUE(fs::exists(fs::path("airports") / "learned" / "my_simaddon" / "EHAM.xml"));
    EXPECT_FALSE(fs::exists(byPublisher));

    // A path that leads out of the learned folder, or one that a link file's line gave unchanged,
    // is not written: the publisher's folder takes the file.
    for (const char* outside : {"airports\\learned\\..\\..\\EHAM.xml", "thirdparty/EHAM.xml"}) {
        leaveWith(outside);
        EXPECT_TRUE(fs::exists(byPublisher)) << outside;
        EXPECT_FALSE(fs::exists("EHAM.xml")) << outside;
        EXPECT_FALSE(fs::exists(fs::path("thirdparty"))) << outside;
        fs::remove(byPublisher);
    }
}

TEST_F(Containers, PublisherFolderStaysInsideThirdparty)
{
    const struct {
        const char* publisher;
        const char* folder;
    } cases[] = {
        {"stock", "airports\\learned\\stock"},
        {"simaddon", "airports\\learned\\simaddon"},
        {"Some Maker", "airports\\learned\\thirdparty\\Some Maker"},
        {"../../x", "airports\\learned\\thirdparty\\.._.._x"},
        {"..", "airports\\learned\\thirdparty\\_"},
        {"", "airports\\learned\\thirdparty"},
        {"a\\b:c", "airports\\learned\\thirdparty\\a_b_c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_learnedFolderOf(c.publisher), c.folder) << c.publisher;
}

}  // namespace
