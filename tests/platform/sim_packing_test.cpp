// The stand-in packs data blocks by the client's own registrations: datum order, units, types,
// string cuts; and refuses bad registrations with the exceptions a client would see.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "support/sim_probe.h"

using namespace simstandin;
using tvxtest::SimProbe;
using tvxtest::SimRecord;

namespace {

class SimPacking : public tvxtest::SimWorldTest {};

std::optional<SimRecord> lf_onlyData(const SimProbe& p)
{
    auto data = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    if (data.size() != 1)
        return std::nullopt;
    return data.front();
}

}  // namespace

TEST_F(SimPacking, UserStateFollowsRegistrationOrderUnitsAndTypes)
{
    UserAc u;
    u.pos = Geo{47.5, 8.25, 1500.0};
    u.pitchRad = -0.05;
    u.bankRad = 0.1;
    u.headingRad = std::numbers::pi / 2;
    u.groundSpeedKt = 140.0;
    u.lightStates = 0x1F3;
    sim().setUser(u);
    sim().setTerrain([](double, double) { return 400.0; });
    sim().setZulu(2024, 60, 3600.75);
    sim().startFlight();
    SimProbe p;
    HANDLE h = p.handle();
    // The user-state layout, with the program's own spellings of names and units.
    const struct {
        const char* name;
        const char* unit;
        SIMCONNECT_DATATYPE type;
    } rows[] = {
        {"Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Pitch degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Bank degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
        {"Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
        {"Ground Velocity", "knots", SIMCONNECT_DATATYPE_FLOAT64},
        {"ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64},
        {"ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
        {"ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
        {"LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64},
        // Same quantity in other units: degrees of heading and metres of altitude.
        {"PLANE HEADING DEGREES TRUE", "degrees", SIMCONNECT_DATATYPE_FLOAT64},
        {"plane altitude", "meters", SIMCONNECT_DATATYPE_FLOAT32},
    };
    for (const auto& r : rows)
        SimConnect_AddToDataDefinition(h, 403, r.name, r.unit, r.type, 0.0f, SIMCONNECT_UNUSED);
    ASSERT_TRUE(SUCCEEDED(SimConnect_RequestDataOnSimObject(h, 109, 403, SIMCONNECT_OBJECT_ID_USER,
                                                             SIMCONNECT_PERIOD_ONCE)));
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_TRUE(p.exceptions().empty());
    const auto rec = lf_onlyData(p);
    ASSERT_TRUE(rec);
    const SimRecord& r = *rec;
    const auto& h8 = r.as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
    EXPECT_EQ(h8.dwRequestID, 109u);
    EXPECT_EQ(h8.dwObjectID, 1u);  // the user's real id, not 0
    EXPECT_EQ(h8.dwDefineID, 403u);
    EXPECT_EQ(h8.dwDefineCount, 14u);
    EXPECT_EQ(h8.dwentrynumber, 1u);
    EXPECT_EQ(h8.dwoutof, 1u);
    EXPECT_EQ(r.size(), 40u + 12 * 8 + 8 + 4);
    EXPECT_DOUBLE_EQ(r.at<double>(0), 47.5);
    EXPECT_DOUBLE_EQ(r.at<double>(8), 8.25);
    EXPECT_DOUBLE_EQ(r.at<double>(16), -0.05);
    EXPECT_DOUBLE_EQ(r.at<double>(24), 0.1);
    EXPECT_DOUBLE_EQ(r.at<double>(32), std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(r.at<double>(40), 1500.0);
    EXPECT_DOUBLE_EQ(r.at<double>(48), 1100.0);  // AGL over 400 ft terrain
    EXPECT_DOUBLE_EQ(r.at<double>(56), 140.0);
    EXPECT_EQ(r.at<std::int64_t>(64), 3600);  // INT64 truncates
    EXPECT_EQ(r.at<std::int64_t>(72), 60);
    EXPECT_EQ(r.at<std::int64_t>(80), 2024);
    EXPECT_EQ(r.at<std::int64_t>(88), 0x1F3);
    EXPECT_NEAR(r.at<double>(96), 90.0, 1e-9);
    EXPECT_NEAR(r.at<float>(104), 457.2f, 1e-3);
}

TEST_F(SimPacking, StringsAreCutPaddedAndTerminated)
{
    UserAc u;
    u.title = "Airbus A320neo Stand-in Livery";  // 30 characters
    u.atcModel = std::string(40, 'M');
    u.atcId = "D-ABCD";
    sim().setUser(u);
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV);
    SimConnect_AddToDataDefinition(h, 408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32);
    SimConnect_AddToDataDefinition(h, 408, "ATC ID", "", SIMCONNECT_DATATYPE_STRING32);
    SimConnect_RequestDataOnSimObject(h, 106, 407, 0, SIMCONNECT_PERIOD_ONCE);
    SimConnect_RequestDataOnSimObject(h, 107, 408, 0, SIMCONNECT_PERIOD_ONCE);
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    auto data = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 2u);
    // STRINGV: the text, its terminator, zero padding to 4 bytes.
    EXPECT_EQ(data[0].size(), 40u + 32);
    EXPECT_STREQ(reinterpret_cast<const char*>(data[0].data()), u.title.c_str());
    EXPECT_EQ(data[0].data()[30], 0);
    EXPECT_EQ(data[0].data()[31], 0);
    // STRING32: 31 characters and a terminator, then the next datum at offset 32.
    EXPECT_EQ(data[1].size(), 40u + 64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data[1].data())), std::string(31, 'M'));
    EXPECT_STREQ(reinterpret_cast<const char*>(data[1].data() + 32), "D-ABCD");
    EXPECT_EQ(data[1].data()[63], 0);
}

TEST_F(SimPacking, BadRegistrationsAreRefusedAndLaterDataShift)
{
    SimProbe p;
    HANDLE h = p.handle();
    sim().moveUser(10.0, 20.0, 3000.0);
    sim().startFlight();
    struct Row {
        const char* name;
        const char* unit;
        SIMCONNECT_DATATYPE type;
        DWORD exception;  // 0 = accepted
        DWORD index;
    };
    const Row rows[] = {
        {"PLANE LATITUDE", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 0, 0},
        {"PLANE LATTITUDE", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 7, 2},    // misspelt name
        {"PLANE ALTITUDE", "furlongs", SIMCONNECT_DATATYPE_FLOAT64, 7, 3},    // unknown unit
        {"PLANE ALTITUDE", "knots", SIMCONNECT_DATATYPE_FLOAT64, 7, 3},       // unit of another kind
        {"ATC ID", nullptr, SIMCONNECT_DATATYPE_FLOAT64, 1, 4},               // text as a number
        {"PLANE ALTITUDE", "feet", SIMCONNECT_DATATYPE_STRING32, 1, 4},       // number as a text
        {"PLANE ALTITUDE", "feet", SIMCONNECT_DATATYPE_FLOAT64, 0, 0},
    };
    std::vector<std::array<DWORD, 3>> expected;
    for (const auto& r : rows) {
        ASSERT_TRUE(SUCCEEDED(SimConnect_AddToDataDefinition(h, 410, r.name, r.unit, r.type)));
        if (r.exception)
            expected.push_back({r.exception, p.lastPacket(), r.index});
    }
    SimConnect_RequestDataOnSimObject(h, 111, 410, 0, SIMCONNECT_PERIOD_ONCE);
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    EXPECT_EQ(p.exceptions(), expected);
    // Only the two accepted datums are packed: the altitude moved up to offset 8.
    const auto defined = sim().definition(410);
    ASSERT_EQ(defined.size(), 2u);
    EXPECT_EQ(defined[1].unit, "feet");
    const auto rec = lf_onlyData(p);
    ASSERT_TRUE(rec);
    const SimRecord& r = *rec;
    EXPECT_EQ(r.size(), 40u + 16);
    EXPECT_DOUBLE_EQ(r.at<double>(0), 10.0);
    EXPECT_DOUBLE_EQ(r.at<double>(8), 3000.0);
}

TEST_F(SimPacking, WritesConvertByUnitIntoTheWorld)
{
    sim().addTitle("Known A320");
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded");
    // A write definition in degrees and feet per minute; the world keeps radians and ft/s.
    SimConnect_AddToDataDefinition(h, 420, "PLANE LATITUDE", "radians");
    SimConnect_AddToDataDefinition(h, 420, "PLANE LONGITUDE", "degrees");
    SimConnect_AddToDataDefinition(h, 420, "PLANE HEADING DEGREES TRUE", "degrees");
    SimConnect_AddToDataDefinition(h, 420, "VERTICAL SPEED", "feet per minute");
    SimConnect_AddToDataDefinition(h, 420, "PLANE ALTITUDE", "meters");
    for (DWORD e = 214; e <= 216; ++e)
        SimConnect_MapClientEventToSimEvent(h, e, e == 214 ? "FREEZE_LATITUDE_LONGITUDE_SET"
                                                  : e == 215 ? "FREEZE_ALTITUDE_SET" : "FREEZE_ATTITUDE_SET");
    SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
    SimConnect_AICreateNonATCAircraft(h, "Known A320", "DLH1", init, 104);
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    const auto obj = sim().objectByAtcId("DLH1");
    ASSERT_TRUE(obj);
    SimConnect_AIReleaseControl(h, obj->id, 103);
    for (DWORD e = 214; e <= 216; ++e)
        SimConnect_TransmitClientEvent(h, obj->id, e, 1, 301, 0);
    const double block[5] = {50.01 * std::numbers::pi / 180.0, 8.02, 180.0, 600.0, 1000.0};
    SimConnect_SetDataOnSimObject(h, 420, obj->id, 0, 0, sizeof block, const_cast<double*>(block));
    const auto moved = sim().object(obj->id);
    ASSERT_TRUE(moved);
    EXPECT_NEAR(moved->pos.latDeg, 50.01, 1e-9);
    EXPECT_NEAR(moved->pos.lonDeg, 8.02, 1e-12);
    EXPECT_NEAR(moved->headingRad, std::numbers::pi, 1e-12);
    EXPECT_NEAR(moved->vsFtPerSec, 10.0, 1e-12);
    EXPECT_NEAR(moved->pos.altFt, 1000.0 / 0.3048, 1e-9);
    ASSERT_EQ(sim().positions(obj->id).size(), 1u);
    EXPECT_EQ(sim().dataWrites(420, obj->id).size(), 1u);
}

// The observation logs are rings of their stated sizes, so a long run keeps flat memory: the newest
// entries stay, creations still mature through the ring's moving base.
class SimRings : public tvxtest::SimWorldTest {
    simstandin::Config config() const override
    {
        simstandin::Config c;
        c.writeRing = 3;
        c.positionRing = 4;
        c.recordRing = 2;
        c.messageRing = 2;
        return c;
    }
};

TEST_F(SimRings, LogsKeepTheNewestEntriesOnly)
{
    sim().addTitle("Known A320");
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 420, "PLANE LATITUDE", "degrees");
    SimConnect_AddToDataDefinition(h, 420, "PLANE LONGITUDE", "degrees");
    SimConnect_AddToDataDefinition(h, 420, "PLANE ALTITUDE", "feet");
    for (DWORD e = 214; e <= 216; ++e)
        SimConnect_MapClientEventToSimEvent(h, e, e == 214 ? "FREEZE_LATITUDE_LONGITUDE_SET"
                                                  : e == 215 ? "FREEZE_ALTITUDE_SET" : "FREEZE_ATTITUDE_SET");
    std::vector<std::uint32_t> ids;
    for (const char* tail : {"DLH1", "DLH2", "DLH3"}) {
        SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
        SimConnect_AICreateNonATCAircraft(h, "Known A320", tail, init, 104);
        ASSERT_TRUE(sim().frame()) << sim().lastError();
        const auto obj = sim().objectByAtcId(tail);
        ASSERT_TRUE(obj) << tail << " did not mature through the ring's base";
        ids.push_back(obj->id);
    }
    const auto creations = sim().creations();
    ASSERT_EQ(creations.size(), 2u);
    EXPECT_EQ(creations[0].tail, "DLH2");
    EXPECT_EQ(creations[1].tail, "DLH3");

    const std::uint32_t id = ids[0];
    SimConnect_AIReleaseControl(h, id, 103);
    for (DWORD e = 214; e <= 216; ++e)
        SimConnect_TransmitClientEvent(h, id, e, 1, 301, 0);
    // Six writes a degree of latitude apart: each after the first warns of a jump.
    for (int i = 0; i < 6; ++i) {
        const double block[3] = {50.0 + i, 8.0, 3000.0};
        SimConnect_SetDataOnSimObject(h, 420, id, 0, 0, sizeof block, const_cast<double*>(block));
    }
    const auto writes = sim().dataWrites(420, id);
    ASSERT_EQ(writes.size(), 3u);
    double firstLat = 0.0;
    std::memcpy(&firstLat, writes[0].data(), sizeof firstLat);
    EXPECT_DOUBLE_EQ(firstLat, 53.0);
    const auto positions = sim().positions(id);
    ASSERT_EQ(positions.size(), 4u);
    EXPECT_DOUBLE_EQ(positions.front().lat, 52.0);
    EXPECT_DOUBLE_EQ(positions.back().lat, 55.0);
    const auto warnings = sim().warnings();
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[1].find("jumped 60.00 NM"), std::string::npos) << warnings[1];
}
