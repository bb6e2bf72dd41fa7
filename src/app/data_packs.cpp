// The start-up update of the data packs from the maker's server: the version file, a newer program
// installer, the aircraft database, the registration-code packs and the airport list. Runs once on
// the start-up thread.
#include "app/data_packs.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "foundation/format.h"
#include "foundation/log.h"
#include "frame/status.h"

namespace fs = std::filesystem;

namespace {

std::string lf_readWholeFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path lf_packVersionFile()
{
    return fs::path("input") / "datapacks.json";
}

void lf_storePackVersion(const std::string& pack, int version)
{
    nlohmann::json versions = nlohmann::json::object();
    const fs::path file = lf_packVersionFile();
    std::error_code ec;
    if (fs::exists(file, ec)) {
        versions = nlohmann::json::parse(lf_readWholeFile(file), nullptr, false);
        if (!versions.is_object())
            versions = nlohmann::json::object();
    }
    versions[pack] = version;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << versions.dump(2) << '\n';
}

// An installer name from the version file becomes a file name in download/: a plain name only.
bool lf_safeFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

// A download of the update failed: a fault in the log, and on the status line, so that the window
// names the cause when the program cannot go on without the pack (the files carried with the
// program, or an earlier download's, serve until the server answers).
void lf_reportUpdateFailure(const std::string& cause)
{
    gf_logError("data packs not updated: {}", cause);
    gf_setStatusLine(tvx::format("Data packs not updated: {}", cause));
}

// Downloads url into a zip beside folder and extracts it there; the zip is removed afterwards. A
// file that could not be written goes into writeProblem (the first one).
bool lf_downloadPack(CURL* handle, const std::string& url, const fs::path& zip, const fs::path& folder,
                     std::string& writeProblem)
{
    std::string problem;
    if (!gf_download(handle, url, zip, g_downloadQuiet, &problem)) {
        lf_reportUpdateFailure(gf_lastDownloadFailure());
        if (writeProblem.empty())
            writeProblem = problem;
        return false;
    }
    const bool ok = gf_unzip(zip, folder, &problem);
    if (!ok)
        lf_reportUpdateFailure(problem.empty() ? tvx::format("{} could not be unpacked", url) : problem);
    if (writeProblem.empty())
        writeProblem = problem;
    std::error_code ec;
    fs::remove(zip, ec);
    return ok;
}

bool lf_hasXmlFiles(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".xml")
            return true;
    }
    return false;
}

}  // namespace

bool gf_parseServerVersion(const std::string& text, ServerVersionInfo& out)
{
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    ServerVersionInfo info;
    if (!doc.is_object() || !doc.contains("version") || !doc["version"].is_string() ||
        !gf_parseVersion(doc["version"].get<std::string>(), info.version)) {
        gf_logError("version file malformed: {}", text.substr(0, 200));
        return false;
    }
    if (doc.contains("installer") && doc["installer"].is_string())
        info.installer = doc["installer"].get<std::string>();
    if (doc.contains("db") && doc["db"].is_number_integer())
        info.db = doc["db"].get<int>();
    if (doc.contains("regcodes") && doc["regcodes"].is_number_integer())
        info.regcodes = doc["regcodes"].get<int>();
    if (doc.contains("airports") && doc["airports"].is_number_integer())
        info.airports = doc["airports"].get<int>();
    out = info;
    return true;
}

int gf_localPackVersion(const std::string& pack)
{
    std::error_code ec;
    if (!fs::exists(lf_packVersionFile(), ec))
        return 0;
    const nlohmann::json versions = nlohmann::json::parse(lf_readWholeFile(lf_packVersionFile()), nullptr, false);
    if (!versions.is_object() || !versions.contains(pack) || !versions[pack].is_number_integer())
        return 0;
    return versions[pack].get<int>();
}

namespace {

// The airport list is needed to go on: missing because a download could not be written (a full
// disk), that is what the start-up ends with, not the missing list it would meet next.
void lf_checkAirportListWritten(const std::string& writeProblem)
{
    std::error_code ec;
    if (!writeProblem.empty() && !fs::exists(fs::path("input") / "airports_msfs.xml", ec))
        throw std::runtime_error(writeProblem);
}

}  // namespace

bool gf_updateDataPacks()
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    std::error_code ec;
    fs::create_directories("download", ec);
    fs::create_directories(fs::path("input") / "regcodes", ec);

    const std::string versionUrl = g_serverBaseUrl + "version.json";
    const fs::path versionFile = fs::path("download") / "version.json";
    std::string writeProblem;
    if (!gf_download(handle.get(), versionUrl, versionFile, g_downloadQuiet, &writeProblem)) {
        lf_reportUpdateFailure(gf_lastDownloadFailure());
        lf_checkAirportListWritten(writeProblem);
        return false;
    }
    const std::string versionText = lf_readWholeFile(versionFile);
    fs::remove(versionFile, ec);
    ServerVersionInfo info;
    if (!gf_parseServerVersion(versionText, info)) {
        lf_reportUpdateFailure(tvx::format("{} is malformed", versionUrl));
        return false;
    }

    if (info.version > gf_programVersion() && lf_safeFileName(info.installer)) {
        const fs::path installer = fs::path("download") / info.installer;
        if (fs::exists(installer, ec) ||
            gf_download(handle.get(), g_serverBaseUrl + "download/" + info.installer, installer, g_downloadShowProgress))
            gf_setStatusLine(tvx::format("Version {} is available: {}", gf_versionText(info.version),
                                         installer.string()),
                             true);
    }

    const fs::path database = fs::path("input") / "aircraftdb.xml";
    if (!fs::exists(database, ec) || info.db > gf_localPackVersion("db")) {
        if (lf_downloadPack(handle.get(), gf_simServerUrl(false) + "data/aircraftdb.zip",
                            fs::path("input") / "aircraftdb.zip", "input", writeProblem) &&
            fs::exists(database, ec)) {
            lf_storePackVersion("db", info.db);
            gf_log("aircraft database {} installed", info.db);
        }
    }
    const fs::path regcodes = fs::path("input") / "regcodes";
    if (!lf_hasXmlFiles(regcodes) || info.regcodes > gf_localPackVersion("regcodes")) {
        if (lf_downloadPack(handle.get(), gf_simServerUrl(false) + "data/regcodes.zip",
                            fs::path("input") / "regcodes.zip", regcodes, writeProblem)) {
            lf_storePackVersion("regcodes", info.regcodes);
            gf_log("registration codes {} installed", info.regcodes);
        }
    }
    const fs::path airports = fs::path("input") / "airports_msfs.xml";
    if (!fs::exists(airports, ec) || info.airports > gf_localPackVersion("airports")) {
        if (lf_downloadPack(handle.get(), gf_simServerUrl(false) + "data/airports.zip",
                            fs::path("input") / "airports.zip", "input", writeProblem) &&
            fs::exists(airports, ec)) {
            lf_storePackVersion("airports", info.airports);
            gf_log("airport list {} installed", info.airports);
        }
    }
    lf_checkAirportListWritten(writeProblem);
    return true;
}
