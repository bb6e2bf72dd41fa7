// The altitude of a flying feed record taken from the altitudes heard in the seconds before it:
// the feed's altitude coding noise is not flown. Main loop thread (the records of g_liveAc).
#pragma once

#include "model/ac_records.h"

// The median of the rows heard within kAltitudeMedianSeconds before `time` (up to `time`), each
// carried to `time` along the mean of its vertical rate and pos's (a row without a rate: pos's),
// where pos's own altitude lies farther from it than the coarsest altitude coding rounds a row
// (half of kAltitudeCodingFt); nearer, pos's own (a level altitude stays exactly as the feed gives
// it: the approach rules compare records' altitudes).
// pos's own altitude when fewer than kAltitudeMedianRows rows lie in that time or when neither pos
// nor any row there carries a vertical rate (a feed without rates: a median of the bare altitudes
// would lag a climb).
double gf_heardAltitude(const HeardAltitudes& heard, double time, const PosRecord& pos);
