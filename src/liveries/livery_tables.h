// The livery tables: every livery found in the installed AI model packages (or read back from
// LiveriesScanned.xml), and the lookup index the matching uses. A table, once set, never changes
// and never moves. Aircraft records, the title cache and the creation commands keep string views
// of titles; those views point into the title pool, which holds each distinct title once for the
// rest of the run, never into a table. So setting a new table (a rescan) frees the old one, and
// the memory a rescan leaves behind is only the titles no earlier table had.
// Set by the start-up thread before the main loop runs; read by the main loop afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/string_hash.h"
#include "model/ac_records.h"

// One livery of an aircraft.cfg [FLTSIM.n] section.
struct LiveryData {
    std::string airline;           // icao_airline, else atc_airline; empty = generic livery
    std::string acType;            // ICAO type designator of the model
    std::string title;             // the simulator's name of the livery (unique in the table)
    std::string atcId;             // tail number painted on it
    std::uint32_t folderOrder = 0; // index of its package folder in walk order
    std::uint8_t cargo = 0;        // title holds "Cargo" or "Freight"
};

// Lookup index over the current table; positions are indices into gf_liveries().
struct LiveryIndex {
    using Positions = std::vector<std::uint32_t>;
    using Map = std::unordered_map<std::string, Positions, TvxStringHash, std::equal_to<>>;
    Map byAtcId;                  // ATC id -> liveries
    Map byAirlineType;            // airline + '/' + type -> liveries of that airline
    Map genericByType;            // type -> liveries without airline
    Map byAirline;                // airline -> liveries
    std::array<Positions, 6> genericByClass;  // size class -> liveries without airline
    std::vector<double> span;     // per livery: radius (nautical miles) of its type
    std::vector<SizeClass> sizeClass;  // per livery: class of its type
    std::vector<std::string_view> title;  // per livery: its title in the title pool (stays valid)
};

const std::deque<LiveryData>& gf_liveries();
const LiveryIndex& gf_liveryIndex();
// Makes the list the current table (the previous one is freed) and builds its index.
void gf_setLiveries(std::vector<LiveryData> liveries);
// Rebuilds the index (after the aircraft database changed the spans and classes).
void gf_rebuildLiveryIndex();
// The pooled title equal to the text when the current table has it, or an empty view.
std::string_view gf_findLiveryTitle(std::string_view title);
std::string gf_airlineTypeKey(std::string_view airline, std::string_view type);
