// See schedule_fixture.h.
#include "support/schedule_fixture.h"

#include <cmath>

#include "foundation/random.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "parking/park_choice.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/user_aircraft.h"
#include "support/liveries_fixture.h"
#include "traffic_service/parked_traffic.h"

namespace tvxtest {

namespace {
constexpr double kMetresPerDeg = 1852.0 * 60.0;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

void resetScheduleState()
{
    g_staticParkQueue.clear();
    g_parkRemovals.clear();
    g_parkKeeps.clear();
    g_liveStayers.clear();
    g_seenCallsigns.clear();
    g_seenHexids.clear();
    g_departedFlights.clear();
    g_parkedTraffic.clear();
    g_realFitOffset = 0;
    g_fitOffset = -1;
    g_softPlanned = false;
    g_parkUpdates = 0;
    g_reservedStand.clear();
    g_learnSoftAllowed = false;
    g_nowDaySlot.store(gf_makeDaySlot(1, 20));
    gf_publishStands();
}

ScheduleTest::ScheduleTest()
{
    resetScheduleState();
    // Room for every stand a test adds, so references from addStand stay valid.
    g_parkPositions.reserve(128);
    EXPECT_TRUE(DbFixture::standard().load());
    gf_seedRng(7);
}

ScheduleTest::~ScheduleTest()
{
    resetScheduleState();
    gf_clearAircraftDb();
}

double latAt(double northMetres) { return kBaseLat + northMetres / kMetresPerDeg; }
double lonAt(double eastMetres) { return kBaseLon + eastMetres / (kMetresPerDeg * std::cos(kBaseLat * kPi / 180.0)); }

ParkPos& addStand(std::uint32_t id, const std::string& name, double northMetres, double eastMetres, double radiusMetres,
                  bool cargo, bool ramp, bool heli)
{
    ParkPos stand(name, {}, latAt(northMetres), lonAt(eastMetres), 0.0, radiusMetres, cargo, ramp, heli);
    stand.standId = id;
    g_parkPositions.push_back(std::move(stand));
    gf_publishStands();  // as the program does after building its stand list
    return g_parkPositions.back();
}

ParkPos& standById(std::uint32_t id)
{
    for (ParkPos& p : g_parkPositions)
        if (p.standId == id)
            return p;
    throw std::out_of_range("no stand with that id");
}

ParkPosOption& addOption(ParkPos& stand, std::uint32_t weekday, std::initializer_list<std::uint32_t> slots,
                         const std::string& callsign, const std::string& callsign2, const std::string& registration,
                         std::uint32_t real, const std::string& airline, const std::string& type)
{
    ParkPosOption o;
    o.airline = airline;
    o.type = type;
    o.registration = registration;
    o.callsign = callsign;
    o.callsign2 = callsign2;
    o.number = static_cast<std::uint32_t>(stand.options.size() + 1);
    o.weekday = weekday;
    o.real = real;
    for (auto s : slots)
        gf_setSlot(o.slots, s);
    stand.options.push_back(o);
    return stand.options.back();
}

AcData aircraft(const std::string& type, const std::string& callsign, const std::string& registration,
                std::uint32_t hexid, const std::string& airline)
{
    FlightRecord head;
    head.airline = airline;
    head.acType = type;
    head.callsign = callsign;
    head.registration = registration;
    AcData ac = gf_makeAcData(head);
    ac.hexid = hexid;
    return ac;
}

StaticAc& parkStatic(std::uint32_t standId, const std::string& callsign, std::uint64_t stamp, std::uint32_t planKind,
                     AcState state, const std::string& type, const std::string& airline)
{
    const ParkPos& stand = standById(standId);
    AcData data = aircraft(type, callsign, "", static_cast<std::uint32_t>(g_staticAc.size() + 1), airline);
    g_staticAc.emplace_back(data, standId, stand.lat, stand.lon, stand.heading, 0);
    StaticAc& ac = g_staticAc.back();
    ac.stamp = stamp;
    ac.planKind = planKind;
    ac.state = state;
    return ac;
}

ParkedTrafficRecord parkedRecord(std::uint32_t hexid, const std::string& callsign, double northMetres,
                                 double eastMetres, std::uint32_t offset, const std::string& registration,
                                 const std::string& type, const std::string& airline)
{
    ParkedTrafficRecord r;
    r.airline = airline;
    r.acType = type;
    r.callsign = callsign;
    r.registration = registration;
    r.lat = latAt(northMetres);
    r.lon = lonAt(eastMetres);
    r.hexid = hexid;
    r.halfHourOffset = offset;
    r.standName = "PT";
    return r;
}

}  // namespace tvxtest
