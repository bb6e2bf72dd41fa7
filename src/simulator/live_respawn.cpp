// The respawn decision on a record of a live aircraft: the identity a buffering aircraft takes
// from its records, route updates, and when a placed aircraft whose callsign or route changed is
// created again as a new simulator object. Main loop thread.
#include "simulator/live_lifecycle.h"

#include "foundation/log.h"
#include "foundation/settings.h"
#include "model/airport_list.h"
#include "simulator/duplicates.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "traffic_service/traffic_records.h"

namespace {

bool lf_endsInUnderscore(const std::string& text)
{
    return !text.empty() && text.back() == '_';
}

}  // namespace

namespace liveac {

void takeIdentity(LiveAc& ac, const TrafficRecord& r)
{
    if (!r.destination.empty() && r.destination != ac.destination)
        ac.destination = r.destination;
    if (!r.origin.empty() && r.origin != ac.origin)
        ac.origin = r.origin;
    if (!r.callsign.empty() && r.callsign != ac.callsign) {
        ac.callsign = r.callsign;
        ac.coupledCallsign1 = r.callsign;
        ac.coupledCallsign2.clear();
    }
    if (!r.registration.empty() && r.registration != ac.registration)
        ac.registration = r.registration;
}

bool updateRoute(LiveAc& ac, const TrafficRecord& r)
{
    bool changed = false;
    bool destDiffers = false;
    bool origDiffers = false;
    if (!r.destination.empty() && r.destination != ac.destination) {
        if (ac.destination.empty()) {
            ac.destination = r.destination;
            changed = true;
        } else {
            destDiffers = true;
        }
    }
    if (!r.origin.empty() && r.origin != ac.origin) {
        if (ac.origin.empty()) {
            ac.origin = r.origin;
            changed = true;
        } else {
            origDiffers = true;
        }
    }
    if (destDiffers && origDiffers) {
        // An aircraft from the park airport whose new record flies back there keeps its route.
        const bool backHome = !g_parkAirport.iata.empty() && ac.origin == g_parkAirport.iata
                              && r.destination == ac.origin;
        if (!backHome) {
            ac.destination = r.destination;
            ac.origin = r.origin;
            changed = true;
            if (ac.onGround && ac.phase != AcPhase::TaxiIn && ac.phase != AcPhase::Parked) {
                gf_setPhase(ac, AcPhase::Taxiing);
                ac.course = ac.sim.heading;
            }
        }
    }
    return changed;
}

bool respawn(LiveAc& ac, const TrafficRecord& r)
{
    if (ac.takeOff || ac.landing)
        return true;
    if (ac.state == AcState::Buffering) {
        takeIdentity(ac, r);
        return true;
    }
    if (ac.state != AcState::Placed || ac.phase == AcPhase::Pushback || ac.holdCounter >= 1)
        return true;

    const bool unchanged = !updateRoute(ac, r);
    if (ac.registration.empty())
        ac.registration = r.registration;
    if (!r.callsign.empty()) {
        if (r.callsign == ac.callsign || r.callsign == ac.registration) {
            if (unchanged)
                return true;
        } else {
            ac.callsign = r.callsign;
            ac.coupledCallsign1 = r.callsign;
            ac.coupledCallsign2.clear();
            if (lf_endsInUnderscore(r.callsign)) {
                if (lf_isBaseCallsignLive(r.callsign))
                    return false;
            } else {
                liveac::removeGhosts(r.callsign);
            }
        }
    } else if (unchanged) {
        return true;
    }
    if (!g_optGuidChanges.value())
        return true;
    if (g_optLog.value())
        gf_log("          {} respawns", gf_routeRegCallsignText(ac));
    liveryRespawn(ac);
    return false;
}

}  // namespace liveac
