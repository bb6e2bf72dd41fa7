// Reading the park airport's parking files: which file describes an airport (a link file or a
// parking file in airports/my_thirdparty or airports/my_simaddon, else the server's stock file),
// its download, the path of its learned file, and gf_readApf, which loads the header and the stands
// into g_parkPositions, lets the learned file merge into them, numbers them and shows the result.
//
// Parking-file texts: a local path beginning with "airports" (airports\my_thirdparty\EHAM.xml on
// Windows), or a server-relative path such as archive/stock/EHAM.xml. Learned paths are built with
// "\" as the program writes them in logs; gf_apfNativePath turns such a text into a path the file
// system of this host takes.
//
// Thread: the main loop (start-up thread) owns g_parkPositions and everything written here; the
// traffic reader reads g_apfLoaded, g_parkAltitude and the client's reference elevation.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

struct AirportEntry;

// The header values gf_readApf fills for its caller (who empties it before each read).
struct ApfHeader {
    std::string airportName;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
    // Where the learned file of the parking file lies: read from there, and saved there when the
    // airport is left (empty until a file was read).
    std::string learnedPath{};
};

// (real, soft) quality factors in percent, -1 for no value.
using QualityPair = std::pair<std::int32_t, std::int32_t>;

extern std::uint32_t g_rtTrafficWeek;        // the file's RT_traffic_week, 0 when absent
extern std::atomic<double> g_parkAltitude;   // feet, the file's altitude parameter
extern std::atomic<bool> g_apfLoaded;        // the park airport's parking file has been read
extern std::atomic<bool> g_parkParamsChanged;  // a parking setting changed since the read

// The parking-file text of the airport; empty when it has none. Throws the filesystem error
// "exists" when a candidate's existence cannot be determined.
std::string gf_findApfFile(const AirportEntry& airport);
// True when the airport has a parking file or link file locally, or a stock file on the server.
bool gf_hasApfFile(const AirportEntry& airport);
// First line of a link file, cut after its last letter 'l'; false when unreadable or empty, and
// false (logged) when the line would lead out of its folder (rooted, a drive, a ".." part).
bool lf_readApfLink(const std::filesystem::path& path, std::string& text);
// Downloads the server's stock file CODE.xml (from the "MSFS/" folder for either simulator) into
// the target; true on success. The caller removes the target again.
bool gf_downloadStockApf(const std::string& code, const std::filesystem::path& target);
// True when the server's stock folder holds CODE.xml (probed by downloading it into the working
// folder and removing it again; a failing removal throws the filesystem error "remove").
bool lf_stockApfOnServer(const std::string& code);
// Downloads the server-relative text into the destination; empty on success, else
// "failed to download: \"URL\"" (also logged).
std::string lf_downloadApf(const std::string& text, const std::filesystem::path& destination);
// The publisher text as one folder name below airports/learned/thirdparty: separators become
// "_", "." and ".." become "_", an empty text stays empty.
std::string gf_learnedPublisherFolder(const std::string& publisher);
// The learned file's path text for a parking-file text and its publisher (with "\" separators).
std::string lf_learnedApfPath(const std::string& text, const std::string& publisher);
// True when a learned path text stays inside airports\learned (begins with it, no ".." part);
// only such a learned file is read, copied aside or saved.
bool gf_insideLearnedFolder(const std::string& pathText);
// A path text of the program ("airports\learned\stock\EHAM.xml") as a path of this host.
std::filesystem::path gf_apfNativePath(const std::string& text);

// Reads the park airport's parking file named by the text into g_parkPositions (emptied by the
// caller) and the header. Returns empty on success, "no stands found" without stands, else an
// error text. Throws tvx::UserErrorException 65 (no altitude) and 94 (a stand name twice).
std::string gf_readApf(const std::string& text, ApfHeader& header, QualityPair& quality);
