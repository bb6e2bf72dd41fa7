// Program-start values of the liveries library's data. No program thread runs.
#include "liveries/liveries_state.h"

#include "liveries/aircraft_db.h"
#include "liveries/livery_match.h"
#include "liveries/livery_tables.h"
#include "liveries/refused.h"

void gf_resetLiveriesState()
{
    gf_clearAircraftDb();  // with the registration codes and the publishers
    gf_setLiveries({});
    gf_resetMatchCounts();
    g_refusedLiveries.clear();
    g_refusedTypes.clear();
}
