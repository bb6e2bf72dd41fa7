// The aircraft database (input/aircraftdb.xml, downloaded at start-up): valid ICAO types with
// their wingspans and size-class sets, the registration prefixes, and the class averages and
// largest half span derived from it. It also hands its registration, publisher and archive-list
// sections to regcodes.cpp and publishers.cpp. Loaded by the start-up thread before the main loop,
// the readers and the scans start; read-only (and so safe from any thread) afterwards.
//
// File format (UTF-8 XML; every section optional):
//   <aircraftdb>
//     <meta>...</meta>                                      the program's meta block
//     <types><t c="B738" span="35.8"/><t c="ZZZZ"/></types> valid types, span in metres optional
//     <typesets><set name="large">A320 B738</set> ...       large, heavy, bizjet, rotorcraft,
//     </typesets>                                            highperf; blank-separated codes
//     <regprefixes>PH D G N</regprefixes>                    country prefixes of registrations
//     <registrations><r k=".." a=".." t="B738" o=".." c="0"/></registrations>
//     <publishers><group name="Some Maker"><n>somemaker</n></group></publishers>
//     <simaddons20>EHBK LFPG</simaddons20>
//     <thirdparties20><publisher name="Some Maker"><e>EHAM2</e></publisher></thirdparties20>
//     <thirdparties24>...</thirdparties24>
//   </aircraftdb>
// A malformed entry is logged (one summary line per section) and skipped; the rest loads.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "foundation/units.h"
#include "model/ac_records.h"

// Loads the database file, replacing what was loaded before. False (logged) when the file cannot
// be read or parsed; then the tables stay empty.
bool gf_loadAircraftDb(const std::filesystem::path& file);
// The same from XML text; sourceName names it in log lines.
bool gf_loadAircraftDbText(std::string_view xml, std::string_view sourceName);
// Empties every table of the database (types, sets, registrations, publishers, archive lists).
void gf_clearAircraftDb();

// Radius in nautical miles: span m × 0.5 × kNmPerMetre; a type without a span gets the average of
// its class; 0.0 only while no averages exist (no database, or one without any span).
double gf_wingspan(std::string_view type);
// Size class from the type sets, tested in the order large, heavy, business jet, rotorcraft,
// high performance; Light when in none.
SizeClass gf_sizeClassOfType(std::string_view type);
// The record of an aircraft with this head: the class and size of its type, and the per-class
// values of that class (see AcData).
AcData gf_makeAcData(const FlightRecord& head);
// A non-empty type listed in the database's types.
bool gf_isKnownType(std::string_view type);
// Mean half span (nautical miles) of the spanned types of a class; a class without spans takes
// the mean of all spans; 0.0 before a database with spans is loaded.
double gf_classAverageSpan(SizeClass sizeClass);
// The largest half span (nautical miles) of the database; 0.0 without spans.
double gf_maxHalfSpan();

// The attribute's text through the standard decimal conversion (throws std::invalid_argument
// "invalid stod argument" for text that is no number); 0.0 when node or attribute is missing.
double gf_xmlAttributeAsDouble(const pugi::xml_node& node, const char* name);
