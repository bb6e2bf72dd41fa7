// Data requests and writes through the stand-in: SECOND periods on sim-second boundaries at any
// frame rate, request replacement and cancelling, the by-type radius and order, and SetData
// validation with the sanity monitor.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <limits>
#include <numbers>

#include <fmt/format.h>

#include "support/sim_probe.h"
#include "support/temp_folder.h"

using namespace simstandin;
using tvxtest::SimProbe;

namespace {

class SimRequests : public tvxtest::SimWorldTest {};

// Frames (1-based, counted from the request) on which request 108 answered.
std::vector<std::uint64_t> lf_secondReplies(float fps, int frames)
{
    Config c;
    c.fps = fps;
    sim().reset(c);
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_SECOND);
    std::vector<std::uint64_t> at;
    for (int f = 1; f <= frames; ++f) {
        p.clear();
        EXPECT_TRUE(sim().frame()) << sim().lastError();
        if (!p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty())
            at.push_back(static_cast<std::uint64_t>(f));
    }
    return at;
}

}  // namespace

TEST_F(SimRequests, SecondPeriodsFollowSimTimeAtAnyFrameRate)
{
    // The first reply comes on the frame after the request, then one per sim second.
    EXPECT_EQ(lf_secondReplies(50.0f, 120), (std::vector<std::uint64_t>{1, 50, 100}));
    EXPECT_EQ(lf_secondReplies(30.0f, 70), (std::vector<std::uint64_t>{1, 30, 60}));
    // 42.5 fps: second boundaries fall between frames 42/43 and exactly on 85.
    EXPECT_EQ(lf_secondReplies(42.5f, 130), (std::vector<std::uint64_t>{1, 43, 85, 128}));
}

TEST_F(SimRequests, SameRequestIdReplacesAndNeverCancels)
{
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    SimConnect_AddToDataDefinition(h, 403, "PLANE LATITUDE", "degrees");
    SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_SECOND);
    SimConnect_RequestDataOnSimObject(h, 108, 403, 0, SIMCONNECT_PERIOD_SIM_FRAME);  // replaces
    ASSERT_TRUE(sim().frame(3));
    auto data = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 3u);
    for (const auto& r : data)
        EXPECT_EQ(r.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwDefineID, 403u);
    SimConnect_RequestDataOnSimObject(h, 108, 403, 0, SIMCONNECT_PERIOD_NEVER);
    p.clear();
    ASSERT_TRUE(sim().frame(60));
    EXPECT_TRUE(p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty());
    // Clearing a definition ends the requests that use it.
    SimConnect_RequestDataOnSimObject(h, 109, 409, 0, SIMCONNECT_PERIOD_VISUAL_FRAME);
    SimConnect_ClearDataDefinition(h, 409);
    ASSERT_TRUE(sim().frame(2));
    EXPECT_TRUE(p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty());
}

TEST_F(SimRequests, ByTypeRadiusFilterAndOrder)
{
    sim().moveUser(50.0, 8.0, 1000.0);
    sim().startFlight();
    sim().addTitle("Heli", TitleInfo{ObjType::Helicopter, "EC35", 5.0, 0.0});
    const auto near = sim().addForeignAircraft("A", "NEAR", Geo{50.5, 8.0, 3000.0});            // ~30 NM
    const auto far = sim().addForeignAircraft("B", "FAR", Geo{52.0, 8.0, 3000.0});             // ~120 NM
    const auto heli = sim().addForeignAircraft("Heli", "HELI", Geo{50.1, 8.0, 500.0}, ObjType::Helicopter);
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 404, "Plane Alt Above Ground", "feet");
    SimConnect_AddToDataDefinition(h, 404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);
    ASSERT_TRUE(sim().deliver());
    struct Row {
        DWORD radius;
        SIMCONNECT_SIMOBJECT_TYPE type;
        std::vector<DWORD> ids;  // empty + exception: refused
        DWORD exception;
    };
    const Row rows[] = {
        {100000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, {1, near}, 0},
        {200000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, {1, near}, 0},
        {200001, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, {}, 1},  // above the simulator's limit
        {0, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, {1}, 0},      // radius 0: the user only
        {100000, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER, {heli}, 0},
        {100000, SIMCONNECT_SIMOBJECT_TYPE_ALL, {1, near, heli}, 0},
    };
    for (const auto& row : rows) {
        p.clear();
        SimConnect_RequestDataOnSimObjectType(h, 101, 404, row.radius, row.type);
        const DWORD packet = p.lastPacket();
        ASSERT_TRUE(sim().deliver());
        std::vector<DWORD> ids;
        const auto recs = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
        for (std::size_t i = 0; i < recs.size(); ++i) {
            const auto& d = recs[i].as<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>();
            ids.push_back(d.dwObjectID);
            EXPECT_EQ(d.dwentrynumber, i + 1);
            EXPECT_EQ(d.dwoutof, recs.size());
            EXPECT_EQ(d.dwRequestID, 101u);
        }
        EXPECT_EQ(ids, row.ids) << "radius " << row.radius << " type " << row.type;
        const auto expected = row.exception ? std::vector<std::array<DWORD, 3>>{{row.exception, packet, 3}}
                                            : std::vector<std::array<DWORD, 3>>{};
        EXPECT_EQ(p.exceptions(), expected);
    }
    (void)far;
    // The ATC id travels in the 32-byte field after the AGL.
    p.clear();
    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 100000, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER);
    ASSERT_TRUE(sim().deliver());
    const auto rec = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE).at(0);
    EXPECT_DOUBLE_EQ(rec.at<double>(0), 500.0);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.data() + 8), "HELI");
}

TEST_F(SimRequests, ByTypeKnobsDescendingAndEmptyRecord)
{
    Config c;
    c.byTypeDescending = true;
    c.emptyByTypeRecord = true;
    sim().reset(c);
    sim().moveUser(50.0, 8.0, 1000.0);
    sim().startFlight();
    const auto a = sim().addForeignAircraft("A", "A", Geo{50.01, 8.0, 3000.0});
    SimProbe p;
    HANDLE h = p.handle();
    SimConnect_AddToDataDefinition(h, 404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER);
    ASSERT_TRUE(sim().deliver());
    const auto recs = p.recordsOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID, a);
    EXPECT_EQ(recs[1].as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID, 1u);
    const auto& empty = recs[2].as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
    EXPECT_EQ(empty.dwObjectID, 0u);
    EXPECT_EQ(empty.dwentrynumber, 0u);
    EXPECT_EQ(empty.dwoutof, 0u);
}

class SimSetData : public tvxtest::SimWorldTest {
protected:
    void SetUp() override
    {
        tvxtest::SimWorldTest::SetUp();
        sim().addTitle("Known A320");
        probe = std::make_unique<SimProbe>();
        h = probe->handle();
        const char* rows[][2] = {{"Plane Latitude", "degree"},        {"Plane Longitude", "degree"},
                                 {"Plane Pitch degrees", "radians"},  {"Plane Bank degrees", "radians"},
                                 {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
                                 {"Vertical Speed", "feet per second"},     {"Airspeed True", "knots"}};
        for (const auto& r : rows)
            SimConnect_AddToDataDefinition(h, 402, r[0], r[1]);
        const char* freezes[] = {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"};
        for (DWORD i = 0; i < 3; ++i)
            SimConnect_MapClientEventToSimEvent(h, 214 + i, freezes[i]);
        SIMCONNECT_DATA_INITPOSITION init{50.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
        SimConnect_AICreateNonATCAircraft(h, "Known A320", "DLH1", init, 104);
        ASSERT_TRUE(sim().frame());
        id = sim().objectByAtcId("DLH1")->id;
    }
    void TearDown() override
    {
        probe.reset();
        tvxtest::SimWorldTest::TearDown();
    }
    void releaseAndFreeze()
    {
        SimConnect_AIReleaseControl(h, id, 103);
        for (DWORD e = 214; e <= 216; ++e)
            SimConnect_TransmitClientEvent(h, id, e, 1, 301, 0);
    }
    void write(std::array<double, 8> v, DWORD size = 64, DWORD object = 0)
    {
        SimConnect_SetDataOnSimObject(h, 402, object ? object : id, 0, 0, size, v.data());
    }
    std::unique_ptr<SimProbe> probe;
    HANDLE h = nullptr;
    std::uint32_t id = 0;
};

// The position log keeps every position write (the trace keeps one in ten), in the order of
// the writes, with the frame's sim time.
TEST_F(SimSetData, PositionLogKeepsEveryWrite)
{
    tvxtest::TempFolder tmp;
    sim().logPositions((tmp / "all.csv").string());
    releaseAndFreeze();
    constexpr int kWrites = 23;
    for (int i = 0; i < kWrites; ++i) {
        write({50.0 + 0.001 * i, 8.0, 0, 0, 1.0, 3000, 0, 250});
        ASSERT_TRUE(sim().frame());
    }
    sim().logPositions("");
    std::istringstream rows(tvxtest::readFile(tmp / "all.csv"));
    std::string line;
    std::getline(rows, line);
    EXPECT_EQ(line, "frame,sim_s,wall_s,object,lat,lon,alt_ft,heading_rad,tas_kt");
    int n = 0;
    double lastSim = -1.0;
    while (std::getline(rows, line)) {
        std::istringstream row(line);
        std::string frame, simS, wall, object, lat;
        std::getline(row, frame, ',');
        std::getline(row, simS, ',');
        std::getline(row, wall, ',');
        std::getline(row, object, ',');
        std::getline(row, lat, ',');
        EXPECT_EQ(std::stoul(object), id) << line;
        EXPECT_NEAR(std::stod(lat), 50.0 + 0.001 * n, 1e-7) << line;
        EXPECT_GT(std::stod(simS), lastSim) << line;
        lastSim = std::stod(simS);
        ++n;
    }
    EXPECT_EQ(n, kWrites);
}

// The position log prints each value as "{:.Nf}" does, also at and next to the half-way points
// of its last decimal (where a product by 10^N rounds the other way) and at exact halves (which
// round to even).
TEST_F(SimSetData, PositionLogRoundsAsFixedFormat)
{
    tvxtest::TempFolder tmp;
    sim().logPositions((tmp / "all.csv").string());
    releaseAndFreeze();
    const std::array<double, 8> writes[] = {
        {50.00000005, 8.00000015, 0, 0, 1.00005, 3000.05, 0, 250.05},
        {49.99999995, 7.99999985, 0, 0, 0.00015, 3000.25, 0, 250.25},
        {50.00000025, 8.00000035, 0, 0, 1.25, 2999.95, 0, 249.75},
        {50.123456789, 8.987654321, 0, 0, 6.28318, 12345.678, 0, 0.05},
    };
    std::vector<std::string> expected;
    for (const auto& v : writes) {
        write(v);
        const auto o = *sim().object(id);
        expected.push_back(fmt::format("{:.7f},{:.7f},{:.1f},{:.4f},{:.1f}", o.pos.latDeg, o.pos.lonDeg, o.pos.altFt,
                                       o.headingRad, o.tasKt));
        ASSERT_TRUE(sim().frame());
    }
    sim().logPositions("");
    std::istringstream rows(tvxtest::readFile(tmp / "all.csv"));
    std::string line;
    std::getline(rows, line);
    std::size_t n = 0;
    while (std::getline(rows, line) && n < expected.size()) {
        std::size_t field = 0;
        for (int commas = 0; commas < 4; ++commas)
            field = line.find(',', field) + 1;
        EXPECT_EQ(line.substr(field), expected[n]) << line;
        ++n;
    }
    EXPECT_EQ(n, expected.size());
}

TEST_F(SimSetData, PositionWritesMoveTheObjectOnceReleasedAndFrozen)
{
    write({50.001, 8.0, 0, 0, 1.0, 3000, 0, 250});
    sim().expectViolation("before it was released and frozen");
    releaseAndFreeze();
    write({50.002, 8.0, -0.05, 0.1, 1.0, 2990, -10.0, 250});
    const auto o = *sim().object(id);
    EXPECT_DOUBLE_EQ(o.pos.latDeg, 50.002);
    EXPECT_DOUBLE_EQ(o.pitchRad, -0.05);
    EXPECT_DOUBLE_EQ(o.vsFtPerSec, -10.0);
    const auto recs = sim().positions(id);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_DOUBLE_EQ(recs[1].alt, 2990.0);
    EXPECT_TRUE(sim().warnings().empty()) << ::testing::PrintToString(sim().warnings());
}

TEST_F(SimSetData, BadWritesAreRefusedOrFlagged)
{
    releaseAndFreeze();
    probe->clear();
    struct Row {
        const char* what;
        std::array<double, 8> values;
        DWORD size;
        DWORD object;  // 0: the probe's object
        const char* violation;
        DWORD exception;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::uint32_t foreign = sim().addForeignAircraft("X", "N1", Geo{50.0, 8.0, 2000.0});
    const Row rows[] = {
        {"size mismatch", {50, 8, 0, 0, 1, 3000, 0, 250}, 56, 0, "data size mismatch", 19},
        {"NaN", {50, 8, 0, 0, nan, 3000, 0, 250}, 64, 0, "NaN or inf in Plane Heading degrees true", 0},
        {"degrees as radians", {50, 8, 0, 0, 270.0, 3000, 0, 250}, 64, 0, "heading 270 rad", 0},
        {"pitch beyond pi/2", {50, 8, 2.0, 0, 1, 3000, 0, 250}, 64, 0, "attitude of object", 0},
        {"wrapped longitude", {50, 188.0, 0, 0, 1, 3000, 0, 250}, 64, 0, "out of range", 0},
        {"foreign object", {50, 8, 0, 0, 1, 3000, 0, 250}, 64, foreign, "aimed at foreign object", 0},
        {"the user", {50, 8, 0, 0, 1, 3000, 0, 250}, 64, 1, "aimed at the user aircraft", 0},
    };
    std::vector<std::array<DWORD, 3>> expected;
    for (const auto& r : rows) {
        write(r.values, r.size, r.object);
        sim().expectViolation(r.violation);
        if (r.exception)
            expected.push_back({r.exception, probe->lastPacket(), 5});
    }
    ASSERT_TRUE(sim().deliver());
    EXPECT_EQ(probe->exceptions(), expected);
    // Refused writes left no trace: neither the size mismatch, nor NaN, nor the foreign target.
    EXPECT_EQ(sim().object(foreign)->positionWrites, 0u);
    EXPECT_EQ(sim().object(id)->positionWrites, 3u);  // the three out-of-range writes were applied
}

TEST_F(SimSetData, JumpsAndAltitudesAreWarnings)
{
    releaseAndFreeze();
    write({50.0, 8.0, 0, 0, 1, 3000, 0, 250});
    write({50.1, 8.0, 0, 0, 1, 3000, 0, 250});   // 6 NM in one write
    write({50.1, 8.0, 0, 0, 1, -100, 0, 250});   // 100 ft under the terrain
    const auto w = sim().warnings();
    ASSERT_EQ(w.size(), 2u) << ::testing::PrintToString(w);
    EXPECT_NE(w[0].find("jumped 6.00 NM"), std::string::npos) << w[0];
    EXPECT_NE(w[1].find("at -100 ft"), std::string::npos) << w[1];
}
