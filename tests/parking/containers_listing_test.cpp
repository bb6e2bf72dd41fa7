// Callsign2ObjectId.txt: one line per placed live aircraft in byte order, with the stand of a
// parked one; and the history-buffer maps taken over for the stand search.
#include "parking/callsign_listing.h"
#include "parking/traffic_containers.h"

#include <gtest/gtest.h>

#include "model/stand_model.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "support/choice_fixture.h"
#include "support/temp_folder.h"
#include "traffic_service/parked_traffic.h"

namespace {

LiveAc lf_live(const std::string& callsign, const std::string& type, std::uint32_t objectId, AcState state,
               AcPhase phase, bool onGround, std::uint32_t standId = 0)
{
    LiveAc ac;
    ac.hexid = objectId + 20000;
    ac.callsign = callsign;
    ac.airline = callsign.substr(0, 3);
    ac.acType = type;
    ac.objectId = objectId;
    ac.state = state;
    ac.phase = phase;
    ac.onGround = onGround ? 1 : 0;
    ac.standId = standId;
    return ac;
}

class Listing : public ::testing::Test {
protected:
    tvxtest::ChoiceSandbox m_box;
};

TEST_F(Listing, PlacedLiveAircraftInByteOrder)
{
    ParkPos stand("D4", {}, 52.3, 4.76, 0.0, 30.0, false, false, false);
    stand.standId = 7;
    g_parkPositions.push_back(stand);
    g_liveAc = {
        lf_live("KLM1234", "B738", 12345, AcState::Placed, AcPhase::Parked, true, 7),
        lf_live("DLH4TR", "A320", 12346, AcState::Placed, AcPhase::Airborne, false),
        lf_live("EZY12", "A319", 99, AcState::Placed, AcPhase::Taxiing, true),
        lf_live("BAW1", "B772", 7, AcState::CreationRequested, AcPhase::Parked, true, 7),
        lf_live("AFR1", "A20N", 8, AcState::BeingRemoved, AcPhase::Taxiing, true),
    };
    gf_writeCallsign2ObjectIdFile();
    EXPECT_EQ(tvxtest::readFile("Callsign2ObjectId.txt"),
              "Air DLH4TR    DLH A320: 12346 \n"
              "Gnd EZY12     EZY A319: 99 \n"
              "Gnd KLM1234   KLM B738: 12345 Parked at D4\n");

    // Written anew each time.
    g_liveAc.resize(1);
    gf_writeCallsign2ObjectIdFile();
    EXPECT_EQ(tvxtest::readFile("Callsign2ObjectId.txt"), "Gnd KLM1234   KLM B738: 12345 Parked at D4\n");
    g_liveAc.clear();
    gf_writeCallsign2ObjectIdFile();
    EXPECT_EQ(tvxtest::readFile("Callsign2ObjectId.txt"), "");
}

TEST_F(Listing, BufferMapsAreTakenOver)
{
    g_seenCallsigns = {"OLD1"};
    g_seenHexids = {1234567};
    g_bufferReceived.store(true);
    gf_clearBufferMaps();
    EXPECT_TRUE(g_seenCallsigns.empty()) << "the client collected nothing";
    EXPECT_TRUE(g_seenHexids.empty());
    EXPECT_FALSE(g_bufferReceived.load());
}

}  // namespace
