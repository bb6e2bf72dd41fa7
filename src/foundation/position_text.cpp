// Position texts and the "no position yet" test. See position_text.h.
#include "foundation/position_text.h"

#include "foundation/format.h"

bool gf_isPositionSet(double latitude, double longitude)
{
    const bool noPositionYet = latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
    return !noPositionYet;
}

std::string gf_latLonText(double latitude, double longitude)
{
    return tvx::format("{:.6f},{:.6f}", latitude, longitude);
}
