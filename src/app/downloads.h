// Downloads from the maker's server: the server base address, one-file transfers over libcurl, a
// safe zip extractor over libzip, and the start-up update of the data packs (version file, aircraft
// database, registration-code packs, program installer). Called from the start-up thread and from
// the parking code on the main loop; each caller uses its own transfer handle.
#pragma once

#include <filesystem>
#include <string>

#include <curl/curl.h>

#include "app/exit.h"

// The download server's base address, ending in '/': TAVIX_SERVER_BASE when set, else the
// compiled-in default. Set at start-up before any download; tests set it directly.
extern std::string g_serverBaseUrl;
void gf_initServerBaseUrl();

// g_serverBaseUrl + "MSFS/" when the 2020 simulator is selected or forced is set, else + "MSFS2024/".
std::string gf_simServerUrl(bool forced);

// Flag bits of gf_download.
inline constexpr int g_downloadQuiet = 0;
inline constexpr int g_downloadShowProgress = 1;  // progress on the status line

// Downloads url into dest with the product name as user agent. True on success. False for a
// missing handle, an output file that cannot be opened ("could not open output file: {}"), a
// transfer error or an error status; the output file is then removed, and an existing file at
// dest is only replaced by a complete download.
bool gf_download(CURL* handle, const std::string& url, const std::filesystem::path& dest, int flag);

// Extracts every entry of the zip into folder. An entry with an absolute path or a ".." part is
// refused (logged, nothing written for it) and makes the result false; other entries are still
// extracted. False when the archive cannot be opened or an entry cannot be written.
bool gf_unzip(const std::filesystem::path& zip, const std::filesystem::path& folder);

// The server's version file:
// {"version":"1.2.3","installer":"<name>","db":7,"regcodes":3,"airports":1}.
struct ServerVersionInfo {
    Version version;
    std::string installer;
    int db = 0;        // aircraft database pack
    int regcodes = 0;  // registration-code packs
    int airports = 0;  // airport list (input/airports_msfs.xml and input/airports_msfs_names.xml)
};
// Parses the version file's text; false (logged) when malformed.
bool gf_parseServerVersion(const std::string& text, ServerVersionInfo& out);

// The start-up update of the data packs from the server (start-up thread): reads version.json,
// downloads a newer installer into download/ (the user is told; nothing runs), and refreshes
// input/aircraftdb.xml, input/regcodes/ and the airport list when missing or older than the
// server's (pack versions kept in input/datapacks.json). False when the
// version file could not be read (the program goes on with what it has).
bool gf_updateDataPacks();

// The pack versions stored beside the unpacked data (input/datapacks.json); 0 when unknown.
int gf_localPackVersion(const std::string& pack);
