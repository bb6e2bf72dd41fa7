// The calls that the airport list and the stand code make into parking work that is not part of
// this library yet: the destination-airport file probe (nearest stand of an airport's parking
// file). Each is one std::function member of g_parkingHooks, filled by its owner at start-up. An
// empty member means the piece is not there: the caller takes the answer "nothing found" and logs
// once that it was skipped (gf_hookMissing), so no run pretends the work was done.
//
// Thread: set before the start-up thread reads the airport list; read by the main loop.
#pragma once

#include <functional>
#include <string>

struct AirportEntry;

// Nearest stand of an airport's parking file to a position.
struct ClosestStand {
    double distanceNm = 100.0;  // 100.0 when the file has no stand (or none was found)
    std::string name;
};

struct ParkingHooks {
    // The distance from the position to the closest stand of that airport's parking file, and the
    // stand's name.
    std::function<ClosestStand(const AirportEntry& airport, double lat, double lon)>
        readDestApfForClosestStand;
};

extern ParkingHooks g_parkingHooks;
