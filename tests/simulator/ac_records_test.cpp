// Aircraft records: construction from a flight record, per-class values, random variation,
// validity rules and the texts that name an aircraft.
#include "model/ac_records.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "foundation/random.h"
#include "liveries/aircraft_db.h"
#include "support/liveries_fixture.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

class AcRecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    }
    void TearDown() override { gf_clearAircraftDb(); }

    static FlightRecord lf_head(const std::string& airline, const std::string& type)
    {
        FlightRecord head;
        head.airline = airline;
        head.acType = type;
        head.callsign = "KLM1234";
        head.registration = "PH-BXA";
        head.value64 = 77;
        return head;
    }
};

TEST_F(AcRecordsTest, PerClassValues)
{
    struct Case {
        const char* type;
        SizeClass cls;
        std::uint32_t flare, touchdown, rotation, climbOut;
        double rotationPitch, climbPitch;
    };
    const Case cases[] = {
        {"C172", SizeClass::Light, 250, 250, 100, 200, -9.0, -15.0},
        {"B738", SizeClass::Large, 400, 350, 200, 300, -6.0, -16.5},
        {"A388", SizeClass::Heavy, 450, 450, 250, 400, -5.0, -12.5},
        {"EC35", SizeClass::Rotorcraft, 100, 100, 100, 100, -20.0, -30.0},
    };
    for (const Case& c : cases) {
        const AcData ac = gf_makeAcData(lf_head("KLM", c.type));
        EXPECT_EQ(ac.sizeClass, c.cls) << c.type;
        EXPECT_EQ(ac.flareTicks, c.flare) << c.type;
        EXPECT_EQ(ac.touchdownTicks, c.touchdown) << c.type;
        EXPECT_EQ(ac.rotationTicks, c.rotation) << c.type;
        EXPECT_EQ(ac.climbOutPitchTicks, c.climbOut) << c.type;
        EXPECT_DOUBLE_EQ(ac.size, gf_wingspan(c.type));
        // The variation is exactly one of two values, never anything in between.
        const double rot = ac.rotationPitch / kDeg;
        const double climb = ac.climbPitch / kDeg;
        EXPECT_TRUE(std::abs(rot - c.rotationPitch * 1.025) < 1e-9 ||
                    std::abs(rot - c.rotationPitch * 0.975) < 1e-9)
            << c.type << " " << rot;
        EXPECT_TRUE(std::abs(climb - c.climbPitch * 1.05) < 1e-9 ||
                    std::abs(climb - c.climbPitch * 0.95) < 1e-9)
            << c.type << " " << climb;
        // Left to the live creation, and 0 for a static aircraft.
        EXPECT_EQ(ac.baseTurnRate, 0.0);
        EXPECT_EQ(ac.turnRate, 0.0);
        EXPECT_EQ(ac.vertRateCap, 0.0);
        EXPECT_EQ(ac.slowGroundSpeed, 0.0);
        EXPECT_EQ(ac.staticCgHeight, 0.0);
        EXPECT_TRUE(ac.title.empty());
        EXPECT_EQ(ac.cargo, 0);
        EXPECT_EQ(ac.fsltl, 0);
        // The head is copied whole.
        EXPECT_EQ(ac.callsign, "KLM1234");
        EXPECT_EQ(ac.registration, "PH-BXA");
        EXPECT_EQ(ac.value64, 77u);
    }
}

TEST_F(AcRecordsTest, BothSignsOfTheVariationOccur)
{
    gf_seedRng(1);
    int up = 0;
    int down = 0;
    for (int i = 0; i < 64; ++i) {
        const AcData ac = gf_makeAcData(lf_head("KLM", "B738"));
        (std::abs(ac.rotationPitch / kDeg + 6.0 * 1.025) < 1e-9 ? up : down)++;
    }
    EXPECT_GT(up, 0);
    EXPECT_GT(down, 0);
}

TEST_F(AcRecordsTest, UnlistedTypeIsLightWithTheLightAverage)
{
    const AcData ac = gf_makeAcData(lf_head("XYZ", "QQQQ"));
    EXPECT_EQ(ac.sizeClass, SizeClass::Light);
    EXPECT_DOUBLE_EQ(ac.size, 11.0 * 0.5 * kNmPerMetre);  // C172 is the only Light span
    EXPECT_EQ(ac.flareTicks, 250u);
}

TEST_F(AcRecordsTest, StaticAndLiveConstruction)
{
    const AcData data = gf_makeAcData(lf_head("KLM", "B738"));
    const StaticAc parked(data, 12, 52.3, 4.76, 1.5, 1);
    EXPECT_EQ(parked.objectId, 0u);
    EXPECT_EQ(parked.standId, 12u);
    EXPECT_DOUBLE_EQ(parked.standLat, 52.3);
    EXPECT_DOUBLE_EQ(parked.standLon, 4.76);
    EXPECT_DOUBLE_EQ(parked.standHeading, 1.5);
    EXPECT_EQ(parked.cargoStand, 1);
    EXPECT_EQ(parked.state, AcState::Buffering);
    EXPECT_EQ(parked.throttleIndex, 5u);
    EXPECT_EQ(parked.flapsIndex, 4u);
    EXPECT_EQ(parked.planKind, 1u);
    EXPECT_EQ(parked.stamp, 0u);
    EXPECT_EQ(parked.serviceHexid, 0u);
    EXPECT_EQ(parked.removeMark, 0);
    EXPECT_EQ(parked.removeOnCreation, 0);
    EXPECT_EQ(parked.rotationPitch, data.rotationPitch);

    PosRecord first;
    first.lat = 52.0;
    first.alt = 1200.0;
    const LiveAc live(first, data, 1700000000.5);
    EXPECT_EQ(live.phase, AcPhase::New);
    EXPECT_EQ(live.prevPhase, AcPhase::New);
    EXPECT_EQ(live.state, AcState::Buffering);
    ASSERT_EQ(live.stream.size(), 1u);
    EXPECT_EQ(live.stream.front().alt, 1200.0);
    EXPECT_EQ(live.heightAboveGround, 2500.0);
    EXPECT_EQ(live.lastRecordTime, 1700000000.5);
    EXPECT_EQ(live.earlyLimit, 1000);
    EXPECT_EQ(live.lateLimit, 1000);
    EXPECT_EQ(live.rotationTickCounter, 1);
    EXPECT_EQ(live.throttleIndex, 5u);
    EXPECT_EQ(live.flapsIndex, 4u);
    EXPECT_EQ(live.planKind, 1u);
    EXPECT_EQ(live.standId, 0u);
    EXPECT_EQ(live.cargoStand, 0);
    EXPECT_EQ(live.sim.lat, 0.0);
    EXPECT_EQ(live.course, 0.0);
    EXPECT_TRUE(std::isnan(live.curve[0]));
    EXPECT_TRUE(std::isnan(live.curve[7]));
    EXPECT_EQ(live.callsign, "KLM1234");
}

TEST_F(AcRecordsTest, CopyAssignmentCopiesTheStream)
{
    PosRecord p;
    LiveAc a(p, gf_makeAcData(lf_head("KLM", "B738")), 1.0);
    p.lat = 2.0;
    a.stream.push_back(p);
    a.phase = AcPhase::Taxiing;
    LiveAc b(p, gf_makeAcData(lf_head("DLH", "A388")), 5.0);
    b = a;
    a.stream.front().lat = 9.0;
    ASSERT_EQ(b.stream.size(), 2u);
    EXPECT_EQ(b.stream.front().lat, 0.0);
    EXPECT_EQ(b.stream.back().lat, 2.0);
    EXPECT_EQ(b.phase, AcPhase::Taxiing);
    EXPECT_EQ(b.airline, "KLM");
    EXPECT_EQ(b.lastRecordTime, 1.0);
}

TEST(AcRecordTexts, Widths)
{
    FlightRecord ac;
    ac.airline = "KLM";
    ac.acType = "B738";
    ac.callsign = "KLM1234";
    ac.registration = "PH-BXA";
    ac.origin = "EHAM";
    ac.destination = "LFPG";
    EXPECT_EQ(gf_airlineTypeText(ac), "KLM B738");
    EXPECT_EQ(lf_routeText(ac), "EHAM->LFPG");
    EXPECT_EQ(lf_callsignText(ac), "KLM1234 ");
    EXPECT_EQ(gf_routeRegCallsignText(ac), "KLM1234  PH-BXA   EHAM->LFPG");
    EXPECT_EQ(gf_acText(ac), "KLM1234  PH-BXA   EHAM->LFPG KLM B738");
    EXPECT_EQ(gf_acIdText(ac), "KLM1234  PH-BXA KLM B738");
    EXPECT_EQ(gf_airlineTypeRegText(ac), "KLM B738 PH-BXA");

    FlightRecord blank;
    blank.airline = "";
    blank.acType = "C72";
    EXPECT_EQ(gf_airlineTypeText(blank), "    C72 ");
    EXPECT_EQ(lf_routeText(blank), "        ");
    EXPECT_EQ(gf_routeRegCallsignText(blank), std::string(8, ' ') + " " + std::string(8, ' ') + " " +
                                                  std::string(8, ' '));
    blank.origin = "AMS";
    EXPECT_EQ(lf_routeText(blank), "AMS->   ");
    blank.origin = "";
    blank.destination = "CDG";
    EXPECT_EQ(lf_routeText(blank), "   ->CDG");

    FlightRecord other = ac;
    EXPECT_TRUE(gf_sameAirlineType(ac, other));
    other.acType = "B739";
    EXPECT_FALSE(gf_sameAirlineType(ac, other));
}

TEST(AcRecordTexts, SizeClassNames)
{
    const char* names[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
    for (std::uint32_t c = 0; c < 6; ++c)
        EXPECT_EQ(gf_sizeClassName(static_cast<SizeClass>(c)), names[c]);
    try {
        gf_sizeClassName(static_cast<SizeClass>(6));
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
}

TEST(AcRecordIdentity, CallsignRules)
{
    struct Case {
        const char* callsign;
        bool valid;
        bool airlineTaken;
        const char* airline;  // after gf_airlineFromCallsign, starting from "OLD"
    };
    const Case cases[] = {
        {"ABC1", true, true, "ABC"},         {"KLM1234", true, true, "KLM"},
        {"AB12", true, false, "OLD"},        {"ABC", true, false, "OLD"},
        {"abc1", true, false, "OLD"},        {"ABCD", true, false, "OLD"},
        {"@@@@@@@@", false, false, "OLD"},   {"ABC123456", false, true, "ABC"},
        {"", false, false, "OLD"},           {"ABC12345", true, true, "ABC"},
    };
    for (const Case& c : cases) {
        FlightRecord ac;
        ac.callsign = c.callsign;
        ac.airline = "OLD";
        EXPECT_EQ(gf_callsignValid(ac), c.valid) << c.callsign;
        EXPECT_EQ(gf_airlineFromCallsign(ac), c.airlineTaken) << c.callsign;
        EXPECT_EQ(ac.airline, c.airline) << c.callsign;
    }
}

}  // namespace
