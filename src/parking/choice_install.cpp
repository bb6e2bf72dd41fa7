// Wiring of the park-airport choice, the park-airport list and the traffic containers into the
// frame's hooks. Window thread, once, before the first start-up.
#include "parking/choice_install.h"

#include <optional>
#include <string>

#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "foundation/format.h"
#include "model/airport_list.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/traffic_containers.h"
#include "simulator/user_aircraft.h"

namespace {

// The stand the user stood on when the simulator thread last looked (flight loaded, new file, the
// thread's end): written into the park-airport list on the main loop, which owns the list.
void lf_takeUserStandForParkList()
{
    const std::optional<std::string> name = gf_takeUserStandForParkList();
    if (!name || name->empty() || g_parkAirports.empty() || g_parkAirport.code.empty())
        return;
    ParkAirport& first = g_parkAirports.front();
    if (first.code != g_parkAirport.code || first.stand == *name)
        return;
    first.stand = *name;
    gf_updateMyParkAirports();
}

}  // namespace

void gf_installChoice()
{
    g_hooks.readMyParkAirports = [] { (void)lf_readMyParkAirports(); };
    g_hooks.reserveTrafficContainers = [] { gf_reserveTrafficContainers(); };
    g_hooks.checkForParkAirportUpdates = [](bool immediate) {
        lf_takeUserStandForParkList();
        gf_checkForParkAirportUpdates(immediate);
    };
    g_hooks.writeCallsign2ObjectIdFile = [] { gf_writeCallsign2ObjectIdFile(); };
    g_hooks.parkAirportHasReservedStand = [] { return !g_parkAirport.code.empty() && !g_reservedStand.empty(); };
    // A destination outside the airport list cannot become a park airport; it is not listed.
    g_hooks.addParkAirport = [](const std::string& code) {
        const std::optional<AirportEntry> airport = gf_findAirport(code);
        if (!airport) {
            gf_setStatusLine(tvx::format("airport {} is unknown", code), true);
            return;
        }
        gf_addParkAirport(airport->code, airport->lat, airport->lon);
    };
    g_hooks.checkReservedStands = [] {
        std::string message;
        if (gf_checkReservedStands(true, message))
            gf_setStatusLine(message, true);
    };
    g_hooks.autoRangeInput = [] {
        AutoRangeInput input;
        input.onGround = g_userOnGround.load();
        input.heightAboveGroundFt = gf_userAc().altAboveGround;
        const double distance = g_parkAirportDistanceNm.load();
        input.parkAirportSet = distance >= 0.0;
        input.parkAirportDistanceNm = distance >= 0.0 ? distance : 0.0;
        return input;
    };
    g_hooks.removeParkedTraffic = [] {
        lf_takeUserStandForParkList();
        gf_removeParkedTraffic();
    };
    g_hooks.clearTrafficState = [] { gf_clearTrafficState(); };
}
