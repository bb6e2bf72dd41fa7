// Program-start values of the model library's run state. No program thread runs.
#include "model/model_state.h"

#include "model/airport_list.h"
#include "model/stand_model.h"

void gf_resetModelState()
{
    g_parkPositions.clear();
    lf_resetAirportList();
    g_parkAirport = AirportEntry{};
    g_reservedStand.clear();
}
