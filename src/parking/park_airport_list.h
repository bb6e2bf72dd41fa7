// The park-airport list: the airports at which the user lets the program park traffic, each with
// an optional reserved stand for the user's own aircraft. It is read from the text file
// airports/my_park_airports.txt and from the parking files the user placed in
// airports/my_thirdparty, and written back (whole and sorted) when a new entry or a new reserved
// stand is learned. The park-airport choice keeps the list sorted by distance from the user.
//
// File format, one entry a line, fields split at commas and trimmed:
//   EHAM          the airport alone
//   EGLL,501      the airport with its reserved stand (taken as written)
// Empty lines are skipped; three or more fields, codes missing from the airport list and codes
// listed twice are reported and skipped.
//
// Thread: the main loop owns g_parkAirports and the file (the start-up thread reads them before the
// main loop starts; the exit thread empties the list after it has ended).
#pragma once

#include <list>
#include <string>

// One entry of the park-airport list.
struct ParkAirport {
    std::string code;        // ICAO code
    std::string stand;       // reserved stand name, empty for none
    double lat = 0.0;        // degrees, from the airport list
    double lon = 0.0;        // degrees
    double distance = 0.0;   // nautical miles from the user aircraft, 0 until computed
};

// The list; the first entry is the nearest (or the DESTINATION). Never holds a code twice.
extern std::list<ParkAirport> g_parkAirports;

// Rebuilds g_parkAirports from airports/my_park_airports.txt and airports/my_thirdparty. False when
// a line named a code missing from the airport list or an exception occurred (logged).
bool lf_readMyParkAirports();
// Whether an entry with that ICAO code is listed.
bool lf_isParkAirport(const std::string& code);
// Appends an entry for every file of airports/my_thirdparty named by a known airport code.
// Directory errors are raised as std::filesystem::filesystem_error.
void lf_addThirdpartyParkAirports();
// Writes the list's first entry into airports/my_park_airports.txt (create, add or update), then
// the file's lines sorted by byte order. Nothing happens for an empty list.
void gf_updateMyParkAirports();
// The line matcher of gf_updateMyParkAirports: when the line's first field is the entry's code,
// the line becomes "code,stand" (logged) and the answer is true.
bool lf_updateStandLine(std::string& line, const ParkAirport& entry);
