// Files from the maker's server: its base address, one-file transfers over libcurl and a safe zip
// extractor over libzip. Used by the start-up's data-pack update and by the parking code's parking
// file downloads (main loop); each caller uses its own transfer handle.
#pragma once

#include <filesystem>
#include <string>

#include <curl/curl.h>

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
// dest is only replaced by a complete download. A file that cannot be opened or written here is
// logged with the system's reason and shown on the error line ("{} could not be written: {}",
// also given in writeProblem when asked).
bool gf_download(CURL* handle, const std::string& url, const std::filesystem::path& dest, int flag,
                 std::string* writeProblem = nullptr);
// Why the calling thread's last failed gf_download failed (the text it logged); empty before any.
std::string gf_lastDownloadFailure();

// Extracts every entry of the zip into folder. An entry with an absolute path or a ".." part is
// refused (logged, nothing written for it) and makes the result false; other entries are still
// extracted. False when the archive cannot be opened or an entry cannot be written (logged with
// the system's reason; the first such entry also in writeProblem when asked, "{} could not be
// written: {}").
bool gf_unzip(const std::filesystem::path& zip, const std::filesystem::path& folder,
              std::string* writeProblem = nullptr);
