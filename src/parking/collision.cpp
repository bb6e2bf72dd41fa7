// Collision avoidance with the user aircraft and between live and parked aircraft. Distances are
// great-circle nautical miles; the lateral limits are in feet (1 nm = 6076.11549 ft); sizes are
// radii. Each rule removes at most one aircraft per call; the frame calls them every second.
//
// Thread: the main loop.
#include "parking/collision.h"

#include <cmath>
#include <unordered_map>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"

std::pair<double, double> g_lastStaticCheckPosition{0.0, 0.0};

namespace {

constexpr double kUserLowFt = 500.0;          // ground traffic matters only below this height
constexpr double kGroundRangeNm = 1.0;
constexpr double kGroundLateralFt = 50.0;
constexpr double kAirRangeNm = 4.0;
constexpr double kAirVerticalFt = 1000.0;
constexpr double kAirLateralFt = 700.0;
constexpr double kUserLiveMargin = 1.15;
constexpr double kUserStaticMargin = 1.1;
constexpr double kLiveStaticMargin = 1.1;

// Simulator position of each taxiing live aircraft at its last check, by hexid.
std::unordered_map<std::uint32_t, std::pair<double, double>> g_taxiChecked;


}  // namespace

bool gf_collisionAvoidanceUserAir(LiveAc& ac)
{
    if (ac.state != AcState::Placed)
        return false;
    const UserAcState& user = g_userAcCopy;
    const double d = gf_distanceNm(user.latitude, user.longitude, ac.sim.lat, ac.sim.lon);
    const double course = gf_initialCourse({user.latitude, user.longitude}, {ac.sim.lat, ac.sim.lon});
    bool remove = false;
    if (ac.onGround) {
        if (user.altAboveGround < kUserLowFt && d <= kGroundRangeNm) {
            // The aircraft lies close to the line through the user along the user's heading.
            const double a = gf_wrapPi(user.heading - course);
            remove = std::sin(std::abs(a)) * d * kFeetPerNm <= kGroundLateralFt;
        }
    } else if (d <= kAirRangeNm && std::abs(ac.sim.alt - user.altitude) < kAirVerticalFt) {
        // The user lies close to the aircraft's line of flight.
        const double b = ac.sim.heading - course;
        remove = std::abs(std::sin(b)) * d * kFeetPerNm <= kAirLateralFt;
    }
    if (remove)
        gf_removeAct(ac);
    return remove;
}

void gf_collisionAvoidanceUserGround()
{
    const UserAcState& user = g_userAcCopy;
    const double halfSpan = g_userHalfSpan.load();
    for (LiveAc& ac : g_liveAc) {
        if (!ac.onGround || ac.state != AcState::Placed)
            continue;
        if ((halfSpan + ac.size) * kUserLiveMargin >= gf_distanceNm(user.latitude, user.longitude, ac.sim.lat, ac.sim.lon)) {
            gf_removeAct(ac);
            return;
        }
    }
    // Static aircraft do not move: they are checked again only after the user moved.
    if (g_lastStaticCheckPosition == std::pair{user.latitude, user.longitude})
        return;
    g_lastStaticCheckPosition = {user.latitude, user.longitude};
    for (StaticAc& s : g_staticAc) {
        if (s.state != AcState::Placed)
            continue;
        if ((halfSpan + s.size) * kUserStaticMargin >= gf_distanceNm(user.latitude, user.longitude, s.standLat, s.standLon)) {
            gf_removeAct(s);
            return;
        }
    }
}

std::vector<StaticAc>::iterator gf_collisionAvoidanceLiveParked(const LiveAc& ac)
{
    for (auto it = g_staticAc.begin(); it != g_staticAc.end(); ++it) {
        if (it->state != AcState::Placed)
            continue;
        if ((ac.size + it->size) * kLiveStaticMargin < gf_distanceNm(ac.sim.lat, ac.sim.lon, it->standLat, it->standLon))
            continue;
        gf_removeAct(*it);
        if (g_optLog.value())
            gf_log("{:8}: {:8} removed for collision avoidance with live {}", gf_standName(it->standId), it->callsign,
                   ac.callsign);
        return it;
    }
    return g_staticAc.end();
}

void gf_checkTaxiingLiveAgainstParked()
{
    if (g_staticAc.empty() || g_liveAc.empty())
        return;
    std::unordered_map<std::uint32_t, std::pair<double, double>> checked;
    for (const LiveAc& ac : g_liveAc) {
        const auto seen = g_taxiChecked.find(ac.hexid);
        const std::pair position{ac.sim.lat, ac.sim.lon};
        const bool taxiing = ac.onGround && (ac.phase == AcPhase::Taxiing || ac.phase == AcPhase::TaxiIn) &&
                             ac.state == AcState::Placed && !ac.removeOnCreation && !ac.removeMark;
        if (!taxiing) {
            if (seen != g_taxiChecked.end())
                checked.insert(*seen);
            continue;
        }
        checked[ac.hexid] = position;
        if (seen != g_taxiChecked.end() && seen->second == position)
            continue;
        (void)gf_collisionAvoidanceLiveParked(ac);
    }
    g_taxiChecked = std::move(checked);
}

void lf_resetTaxiCheckPositions()
{
    g_taxiChecked.clear();
    g_lastStaticCheckPosition = {0.0, 0.0};
}
