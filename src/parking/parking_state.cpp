// Program-start values of the parking library's run state. No program thread runs.
#include "parking/parking_state.h"

#include "parking/collision.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"

void gf_resetParkingState()
{
    // The copy of the (by now empty) stand model the nearest-stand search reads, and the park file.
    gf_publishStands();
    g_parkAirportDistanceNm.store(-1.0);
    g_apfHeader = ApfHeader{};
    g_rtTrafficWeek = 0;
    g_parkAltitude.store(0.0);
    g_apfLoaded.store(false);
    g_parkParamsChanged.store(false);
    g_handmadeOverruled.store(false);
    g_reloadParkFile = false;
    g_staticPlanWaiting = false;
    g_lastUserPosition = LatLon{};

    // The static plan and its schedule learning.
    g_staticParkQueue.clear();
    g_parkRemovals.clear();
    g_parkKeeps.clear();
    g_liveStayers.clear();
    g_realFitOffset = 0;
    g_fitOffset = -1;
    g_softPlanned = false;
    g_seenCallsigns.clear();
    g_seenHexids.clear();
    g_departedFlights.clear();
    g_parkUpdates = 0;
    g_learnSoftAllowed = false;

    // Placement and collision memories.
    g_staticCounter = 0;
    lf_resetTaxiCheckPositions();
}
