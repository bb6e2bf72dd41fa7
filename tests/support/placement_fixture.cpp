// See placement_fixture.h.
#include "support/placement_fixture.h"

#include <cmath>

#include "foundation/random.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_tables.h"
#include "parking/collision.h"
#include "parking/park_choice.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "parking/stand_search.h"
#include "simulator/ai_tick.h"
#include "simulator/user_aircraft.h"
#include "support/liveries_fixture.h"

namespace tvxtest {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthMetresPerDeg = 1852.0 * 60.0;

}  // namespace

void resetPlacementState()
{
    g_staticParkQueue.clear();
    g_liveStayers.clear();
    g_parkKeeps.clear();
    g_reservedStand.clear();
    g_staticCounter = 0;
    // Room enough that the references the builders return stay valid within a test.
    g_liveAc.reserve(64);
    g_staticAc.reserve(64);
    g_parkPositions.reserve(64);
    g_nowDaySlot.store(gf_makeDaySlot(1, 20));
    g_userHalfSpan.store(0.0);
    lf_resetTaxiCheckPositions();
    gf_publishStands();
    gf_updatePainted([](PaintedValues& v) { v.avgParkHoursLive = 0.0; });
}

PlacementTest::PlacementTest()
{
    resetPlacementState();
    auto db = DbFixture::standard();
    EXPECT_TRUE(db.load());
    gf_seedRng(11);
    gf_setLiveries({
        LiveryData{"", "B738", "Generic 738", "", 0, 0},
        LiveryData{"", "A388", "Generic 388", "", 0, 0},
    });
}

PlacementTest::~PlacementTest()
{
    resetPlacementState();
    gf_setLiveries({});
    gf_clearAircraftDb();
}

ParkPos& placeStand(std::uint32_t id, const std::string& name, double lat, double lon, double headingDeg,
                    double radiusMetres, bool cargo, bool heli)
{
    ParkPos stand(name, {}, lat, lon, headingDeg * kPi / 180.0, radiusMetres, cargo, false, heli);
    stand.standId = id;
    g_parkPositions.push_back(std::move(stand));
    gf_publishStands();  // as the program does after building its stand list
    return g_parkPositions.back();
}

void overlapStands(std::uint32_t a, std::uint32_t b)
{
    for (ParkPos& p : g_parkPositions) {
        if (p.standId == a)
            p.overlapping.push_back(b);
        if (p.standId == b)
            p.overlapping.push_back(a);
    }
}

StaticPlanEntry planEntry(std::uint32_t standId, const std::string& callsign, const std::string& callsign2,
                          std::uint8_t stays, std::uint32_t offset, const std::string& airline, const std::string& type,
                          std::uint32_t hexid)
{
    StaticPlanEntry e;
    e.hexid = hexid;
    e.fromSchedule = hexid == 0 ? 1 : 0;
    e.standId = standId;
    e.offset = offset;
    e.airline = airline;
    e.type = type;
    e.callsign = callsign;
    e.callsign2 = callsign2;
    e.registration = "";
    e.stays = stays;
    return e;
}

StaticAc& addStaticAc(std::uint32_t hexid, const std::string& callsign, std::uint32_t standId, AcState state,
                      const std::string& type)
{
    FlightRecord head;
    head.airline = "KLM";
    head.acType = type;
    head.callsign = callsign;
    AcData data = gf_makeAcData(head);
    data.hexid = hexid;
    double lat = 0.0, lon = 0.0, heading = 0.0;
    for (const ParkPos& p : g_parkPositions) {
        if (p.standId == standId) {
            lat = p.lat;
            lon = p.lon;
            heading = p.heading;
        }
    }
    g_staticAc.emplace_back(data, standId, lat, lon, heading, 0);
    StaticAc& ac = g_staticAc.back();
    ac.state = state;
    ac.objectId = 1000 + hexid;
    return ac;
}

LiveAc& addLiveAc(std::uint32_t hexid, const std::string& callsign, double lat, double lon, AcPhase phase,
                  std::uint32_t standId, const std::string& type, std::chrono::seconds parkedFor)
{
    const SizeClass sizeClass = gf_sizeClassOfType(type);
    LiveAc ac = makeLiveAc(hexid, callsign, {rec(lat, lon, 0)}, sizeClass, AcState::Placed, phase);
    ac.acType = type;
    ac.airline = "KLM";
    ac.size = gf_wingspan(type);
    ac.sim.lat = lat;
    ac.sim.lon = lon;
    ac.onGround = 1;
    ac.standId = standId;
    ac.objectId = 5000 + hexid;
    ac.parkingTime = std::chrono::steady_clock::now() - parkedFor;
    g_liveAc.push_back(std::move(ac));
    return g_liveAc.back();
}

double northDeg(double metres)
{
    return metres / kEarthMetresPerDeg;
}

double eastDeg(double metres, double lat)
{
    return metres / (kEarthMetresPerDeg * std::cos(lat * kPi / 180.0));
}

}  // namespace tvxtest
