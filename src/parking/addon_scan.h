// The add-on airport scan: at start-up, when SCAN_AIRPORTS is on, walks the simulator's package
// folders (Official and Community for the 2020 simulator, Community for 2024) for airport BGL
// files, decodes each on its own worker thread (bgl_decode.h), and lets archive_links.h link or
// generate the airports' parking files. Afterwards it writes the scan log
// output/info/AirportsScanLog.txt, sets aside in TBLO the third-party airports that still need
// offline learning, and switches SCAN_AIRPORTS off.
//
// Owns the scan messages (the lines of the scan log), the scan's result flag and the TBLO count.
//
// Threads: gf_scanAddonAirports and the walk run on the start-up thread; the decoding runs on
// detached worker threads, at most as many at once as the task gate allows. Workers add scan
// messages only through lf_addScanMessage (under g_scanMessagesMutex).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Lines of the scan log of the current scan, guarded by g_scanMessagesMutex.
extern std::vector<std::string> g_scanMessages;
extern std::mutex g_scanMessagesMutex;
// Set whenever an airport was linked to an archived parking file or a generated file was
// written; cleared only by the window's rescan command. The scan's result.
extern std::atomic<bool> g_addonAirportFound;
// Airports placed in TBLO during the last scan.
extern std::atomic<std::int32_t> g_tbloCount;

// The start-up's call (SCAN_AIRPORTS on, no exit requested).
void gf_scanAddonAirports();

// The scan over the roots, the scan log and the TBLO pass; gives g_addonAirportFound.
bool lf_runAirportScan(const std::vector<std::string>& roots);
// Checks one root and walks it when it is a folder.
void lf_scanAirportRoot(const std::string& root);
// Walks one root recursively, one worker task per airport BGL file.
void lf_walkAirportFolder(const std::filesystem::path& root);
// The TBLO pass over the generated third-party files (after the walk).
void lf_tbloPass();
// Appends one line to the scan messages.
void lf_addScanMessage(std::string text);
// Paths the walk neither enters nor considers (long paths, aircraft and tool packages).
bool lf_isSkippedScanPath(std::string_view path);
// Exactly ".BGL" or ".bgl".
bool lf_isBglExtension(std::string_view extension);

// output/info/AirportsScanLog.txt
std::filesystem::path gf_airportsScanLogPath();
