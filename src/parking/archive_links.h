// Where the add-on airport scan sends each airport it decodes: a link file naming a parking file
// of the maker's archive, a parking file generated from the decoded stands, or, for an airport
// whose BGL file cannot be decoded, a TBLO entry for offline learning. Owns the scanned-airport
// record, the publisher mutex and the texts of the link and TBLO files.
//
// Files (relative to the working folder):
//   airports/my_simaddon/<ICAO>.txt    one line: archive/simaddon/<ICAO>.xml
//   airports/my_thirdparty/<ICAO>.txt  one line: archive/thirdparty/<publisher, blanks as %20>/<ICAO>.xml
//   airports/my_simaddon|my_thirdparty/<ICAO>.xml  a generated parking file (scan form)
//   TBLO/<ICAO>.xml                     two lines: the BGL path; "<ICAO> by <publisher>, title: <title>
//                                       crea: <creator> manu: <manufacturer>"
//
// Threads: the scan's worker threads (one per BGL file). Publisher detection and archive linking
// run under g_publisherMutex; g_addonAirportFound and g_tbloCount are atomics; everything else a
// task uses is its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/stand_model.h"

// One airport found by the scan, as the decoding fills it and the linking and writing use it.
struct ScannedAirport {
    std::string code;               // ICAO code
    std::string airportName;        // from the airport names list; empty when unknown
    std::string bglPath;            // path text of the BGL file
    std::string publisher = "unknown";
    std::string manufacturer;       // from the package manifest, else empty
    std::string creator;
    std::string title;
    std::int32_t altitude = 0;      // whole feet
    std::vector<ScannedStand> stands;
    std::uint32_t helipadCounter = 1;  // number of the next helipad (helipads found = counter - 1)
};

// Serialises publisher detection, the archive look-ups and link writing across the scan tasks.
extern std::mutex g_publisherMutex;

// The folders the scan writes into, relative to the working folder.
std::filesystem::path gf_simaddonFolder();    // airports/my_simaddon
std::filesystem::path gf_thirdpartyFolder();  // airports/my_thirdparty
std::filesystem::path gf_tbloFolder();        // TBLO

// Detects the publisher of the BGL file and links the airport to an archived parking file when
// the archive lists it. Sets the record's BGL path and publisher texts; archived gets the stand
// count of the archive entry (0 when not linked). True when linked. Takes g_publisherMutex.
bool lf_linkArchivedAirport(ScannedAirport& record, std::int32_t& archived, const std::string& bglPath);

// "archive/simaddon/<code>.xml" when the archive holds the code; otherwise a scan message.
std::optional<std::string> lf_findSimaddonArchive(const std::string& code);
// Writes the simaddon link file; true when written.
bool lf_linkSimaddonAirport(const ScannedAirport& record);
// "archive/thirdparty/<key>/<code>.xml" from the first entry of the publisher's archive list that
// names the code; archived gets the entry's stand count. Otherwise a scan message.
std::optional<std::string> lf_findThirdpartyArchive(const std::string& publisher,
                                                    const ScannedAirport& record, std::int32_t& archived);
// Writes the thirdparty link file; true when written.
bool lf_linkThirdpartyAirport(const std::string& publisher, const ScannedAirport& record,
                              std::int32_t& archived);

// Writes the generated parking file of the airport (nothing without stands). Sorts the stands by
// name. A folder that cannot be created throws std::filesystem::filesystem_error.
void lf_generateAirportFile(ScannedAirport& record);

// A BGL file whose airport record this program cannot decode: finds the airport's code from the
// file name, the manifest title or the path, links it to the archive when possible, otherwise
// writes its TBLO entry. A TBLO folder that cannot be created throws.
void lf_handleUnrecognisedAirport(const std::string& bglPath);
