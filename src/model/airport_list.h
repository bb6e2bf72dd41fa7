// The airport list: every airport the program can use as a park airport or a destination, read
// once per process from input/airports_msfs.xml (in the working folder) and kept sorted by code in
// g_airports; and the airport names of input/airports_msfs_names.xml (g_airportNames), kept only
// while the add-on airport scan runs. Also the lookup by code, and the park airport.
//
// Files (XML, read with pugixml):
//   airports_msfs.xml        <airports><airport code="EDDF" iata="FRA" lat="50.03" lon="8.57" alt="364"/>...
//   airports_msfs_names.xml  <AirportNames><airport name="Frankfurt am Main" ICAO="EDDF"/>...
// A malformed number, or a position off the world, aborts the whole list (error 88); a missing
// names file is no error.
//
// Threads: gf_readAirports runs on the start-up thread before the main loop; afterwards the list is
// only read (main loop, scan workers). gf_readAirportNames runs before the scan's workers start.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One airport of the list.
struct AirportEntry {
    std::string code;    // ICAO code, the key of the list
    std::string iata;    // IATA code, may be empty
    double lat = 0.0;    // degrees
    double lon = 0.0;    // degrees
    double alt = 0.0;    // feet (read with single precision, widened)

    // The code, or "?" without one, followed by " (" iata ")" when there is an IATA code.
    std::string text() const;
};

// All airports, sorted by code (byte-wise); filled once per process.
extern std::vector<AirportEntry> g_airports;
// ICAO code -> airport name, filled for the add-on airport scan.
extern std::unordered_map<std::string, std::string> g_airportNames;

// The current park airport; an empty code means none is set. Chosen by the park-airport choice.
extern AirportEntry g_parkAirport;
// Name of the reserved stand of the park airport (empty: none); kept free for the user aircraft.
// Main loop.
extern std::string g_reservedStand;

// Reads input/airports_msfs.xml on the first call; later calls only answer whether the list is
// not empty. Throws tvx::UserErrorException 87 (XPath error) or 88 (any other error: missing or
// unreadable file, missing "airports" element, malformed number).
bool gf_readAirports();

// Fills g_airportNames from input/airports_msfs_names.xml (a code keeps its first name); true when
// the map is not empty. A missing or foreign file adds nothing.
bool gf_readAirportNames();

// A copy of the first airport with exactly that code.
std::optional<AirportEntry> gf_findAirport(std::string_view code);

// True when the text contains "-CODE-", as written or with the code's capitals in lower case.
bool lf_codeInText(std::string_view text, const AirportEntry& entry);

// Tests: forgets the list so that the next gf_readAirports reads the file again.
void lf_resetAirportList();
