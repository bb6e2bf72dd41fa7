// A position as the program's files and log lines write it, and the "no position yet" test that
// goes with it. Pure functions; any thread.
#pragma once

#include <string>

// False for a position with latitude in 0..0.0009 and longitude in 0..0.05 (no position yet).
bool gf_isPositionSet(double latitude, double longitude);
// "lat,lon" with six decimals each.
std::string gf_latLonText(double latitude, double longitude);
