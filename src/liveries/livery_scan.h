// The livery scan: walks the package folders for aircraft.cfg files, reads them on worker
// threads (no more than the processor count), and makes the liveries found the current livery
// table; LiveriesScanned.xml keeps the table between runs, and two report files list it. Runs on
// the start-up thread (its workers only parse); the table is set before the main loop starts.
//
// LiveriesScanned.xml: the program's meta block, then
//   <liveries><l airline="KLM" type="B738" title="..." atcid="PH-BXA" order="3" cargo="false"/>
//   </liveries>
// Reports (folder output/info): LiveriesByType.txt (one line per livery, by type, airline and
// title) and LiveriesNoAirline.txt (the generic liveries, by type and title).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

struct LiveryScanStats {
    std::size_t packages = 0;
    std::size_t files = 0;
    std::size_t liveries = 0;
    std::size_t withoutType = 0;     // liveries whose model type could not be found
    std::size_t duplicateTitles = 0; // a title already taken by an earlier package
    std::size_t badTitles = 0;       // titles that are not valid UTF-8
    std::size_t badFiles = 0;        // files that could not be read or decoded
};

// One aircraft.cfg found by the walk.
struct AircraftCfgFile {
    std::filesystem::path path;
    std::uint32_t folderOrder = 0;   // index of its package folder in walk order
};

// The aircraft.cfg files (any case of the name) under each root's package folders; package
// folders in name order (the packages inside OneStore or Steam taken as package folders),
// numbered across the roots in walk order; files in path order.
std::vector<AircraftCfgFile> gf_findAircraftCfgFiles(const std::vector<std::filesystem::path>& roots,
                                                     std::size_t* packageCount = nullptr);
// Scans the roots and makes the result the current livery table; logs a summary.
LiveryScanStats gf_scanLiveries(const std::vector<std::filesystem::path>& roots);

// The scan is due when the file is missing, after a version update, or when the user asked.
bool gf_liveryScanDue(const std::filesystem::path& scannedFile, bool versionUpdated,
                      bool rescanRequested);
// Writes the current table; false (logged) when the file cannot be written.
bool gf_writeLiveriesScanned(const std::filesystem::path& file);
// Reads the file into the current table; malformed entries are skipped with one summary line.
// False (logged) when the file cannot be read or parsed or holds no livery: then a scan is due.
bool gf_readLiveriesScanned(const std::filesystem::path& file);
// Writes LiveriesByType.txt and LiveriesNoAirline.txt into the folder (created when missing).
bool gf_writeLiveryReports(const std::filesystem::path& infoFolder);
// Start-up: reads the scanned file unless a scan is due (or the file cannot be read); a scan
// writes the file anew. The reports are written either way. Returns the number of liveries.
std::size_t gf_loadOrScanLiveries(const std::vector<std::filesystem::path>& roots,
                                  const std::filesystem::path& scannedFile,
                                  const std::filesystem::path& infoFolder, bool versionUpdated,
                                  bool rescanRequested);
// The report lines, as written.
std::vector<std::string> gf_liveriesByTypeLines();
std::vector<std::string> gf_liveriesNoAirlineLines();
