// Three small readers of airport parking files that leave the park airport's stands alone: the
// closest stand of any airport's file to a position (and the closest-airport choice built on it),
// and the publisher parameters of a parking file (for the add-on airport scan). They read the file
// directly, without the meta check and without building stands.
//
// Threads: gf_readDestApfForClosestStand runs on the main loop (its download lands in the one
// shared file airport.xml in the working folder); the publisher readers run in the add-on airport
// scan and touch only the file they are given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/airport_list.h"

// Distance in nautical miles from the position to the closest stand of the airport's parking
// file; 100.0 when there is no file, it cannot be read, or no stand lies closer than 100 nm. The
// stand name is written only when a closer stand is found.
double gf_readDestApfForClosestStand(const AirportEntry& airport, double lat, double lon, std::string& standName);
// The publisher parameter of the parking file; empty when it cannot be loaded or has none.
std::string gf_readApfPublisher(const std::filesystem::path& path);
// Empty when nothing needs reporting; "\"PATH\" not found" for an unloadable file; for publisher
// "unknown" without a manufacturer or creator of 4 characters or more,
// "manufacturer=M, creator=C".
std::string gf_unknownPublisherInfo(const std::filesystem::path& path);

// The airport to take for a user aircraft standing at the position: the nearest airport of the
// airport list within 5 nm, or the airport it displaced as nearest when that one's parking file
// has a stand closer to the position. Main loop.
std::optional<AirportEntry> gf_closestAirportByStand(double lat, double lon);
