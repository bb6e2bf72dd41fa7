// Downloads from the maker's server. gf_download moves one URL into one file over a caller's libcurl
// handle; the transfer goes to "<dest>.part" first and replaces dest only when complete, so a
// failure never leaves a half file where a good one was. gf_unzip extracts archives over libzip,
// refusing entries that would land outside the target folder. gf_updateDataPacks runs once on the
// start-up thread. No shared state besides g_serverBaseUrl, which is set before any thread starts.
#include "app/downloads.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>
#include <zip.h>

#include "app/status.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"

namespace fs = std::filesystem;

std::string g_serverBaseUrl = "https://download.tavix.app/";

namespace {

constexpr const char* g_defaultServerBase = "https://download.tavix.app/";

struct Transfer {
    std::FILE* file = nullptr;
    bool writeFailed = false;
    int flag = 0;
    std::string name;
    curl_off_t lastShownKb = -1;
};

size_t lf_writeChunk(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (std::fwrite(data, 1, bytes, transfer->file) != bytes) {
        transfer->writeFailed = true;
        return 0;  // makes curl stop with a write error
    }
    return bytes;
}

int lf_progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    const curl_off_t kb = now / 1024;
    if (kb / 256 != transfer->lastShownKb / 256) {  // every 256 KB
        transfer->lastShownKb = kb;
        if (total > 0)
            gf_setStatusLine(tvx::format("downloading {}: {} of {} KB", transfer->name, kb, total / 1024));
        else
            gf_setStatusLine(tvx::format("downloading {}: {} KB", transfer->name, kb));
    }
    return 0;
}

bool lf_extractEntry(zip_t* archive, zip_uint64_t index, const fs::path& target)
{
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (entry == nullptr)
        return false;
    fs::path part = target;
    part += ".part";
    bool ok = true;
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        ok = static_cast<bool>(out);
        char buffer[65536];
        while (ok) {
            const zip_int64_t got = zip_fread(entry, buffer, sizeof(buffer));
            if (got < 0)
                ok = false;
            if (got <= 0)
                break;
            out.write(buffer, got);
            ok = static_cast<bool>(out);
        }
    }
    zip_fclose(entry);
    std::error_code ec;
    if (ok)
        fs::rename(part, target, ec);
    if (!ok || ec) {
        fs::remove(part, ec);
        return false;
    }
    return true;
}

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

// Downloads url into a zip beside folder and extracts it there; the zip is removed afterwards.
bool lf_downloadPack(CURL* handle, const std::string& url, const fs::path& zip, const fs::path& folder)
{
    if (!gf_download(handle, url, zip, g_downloadQuiet)) {
        gf_log("failed to download: \"{}\"", url);
        return false;
    }
    const bool ok = gf_unzip(zip, folder);
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

void gf_initServerBaseUrl()
{
    const char* env = std::getenv("TAVIX_SERVER_BASE");
    std::string base = (env != nullptr && *env != '\0') ? env : g_defaultServerBase;
    if (base.back() != '/')
        base += '/';
    g_serverBaseUrl = base;
}

std::string gf_simServerUrl(bool forced)
{
    return g_serverBaseUrl + ((g_simIs2020.load() || forced) ? "MSFS/" : "MSFS2024/");
}

bool gf_download(CURL* handle, const std::string& url, const fs::path& dest, int flag)
{
    if (handle == nullptr)
        return false;
    fs::path part = dest;
    part += ".part";
    Transfer transfer;
    transfer.flag = flag;
    transfer.name = dest.filename().string();
    transfer.file = std::fopen(part.string().c_str(), "wb");
    if (transfer.file == nullptr) {
        gf_log("could not open output file: {}", dest.string());
        return false;
    }
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, g_productName);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    // A server that stops answering must not hold the start-up: no connection within 15 s, or
    // less than one byte a second for 30 s, fails the transfer.
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, lf_writeChunk);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    if ((flag & g_downloadShowProgress) != 0) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, lf_progress);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    } else {
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
    }
    const CURLcode result = curl_easy_perform(handle);
    const bool closed = std::fclose(transfer.file) == 0;
    // The handle belongs to the caller; leave no pointer to this frame's data in it.
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);

    std::error_code ec;
    if (result != CURLE_OK || transfer.writeFailed || !closed) {
        if (result != CURLE_OK)
            gf_log("download of {} failed: {}", url, curl_easy_strerror(result));
        else
            gf_log("could not write output file: {}", dest.string());
        fs::remove(part, ec);
        return false;
    }
    fs::rename(part, dest, ec);
    if (ec) {
        gf_log("could not write output file: {}", dest.string());
        fs::remove(part, ec);
        return false;
    }
    return true;
}

bool gf_unzip(const fs::path& zipFile, const fs::path& folder)
{
    int error = 0;
    zip_t* archive = zip_open(zipFile.string().c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        gf_logError("cannot open archive {}: {}", zipFile.string(), zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return false;
    }
    bool ok = true;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* rawName = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        const std::string name = rawName != nullptr ? rawName : "";
        if (!gf_staysInsideFolder(name)) {
            gf_logError("archive {}: entry \"{}\" refused (outside the target folder)", zipFile.string(), name);
            ok = false;
            continue;
        }
        const fs::path target = folder / fs::path(name).lexically_normal();
        std::error_code ec;
        if (name.back() == '/' || name.back() == '\\') {
            fs::create_directories(target, ec);
            continue;
        }
        fs::create_directories(target.parent_path(), ec);
        if (!lf_extractEntry(archive, static_cast<zip_uint64_t>(i), target)) {
            gf_logError("archive {}: entry \"{}\" could not be extracted", zipFile.string(), name);
            ok = false;
        }
    }
    zip_discard(archive);
    return ok;
}

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

bool gf_updateDataPacks()
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    std::error_code ec;
    fs::create_directories("download", ec);
    fs::create_directories(fs::path("input") / "regcodes", ec);

    const std::string versionUrl = g_serverBaseUrl + "version.json";
    const fs::path versionFile = fs::path("download") / "version.json";
    if (!gf_download(handle.get(), versionUrl, versionFile, g_downloadQuiet)) {
        gf_log("failed to download: \"{}\"", versionUrl);
        return false;
    }
    const std::string versionText = lf_readWholeFile(versionFile);
    fs::remove(versionFile, ec);
    ServerVersionInfo info;
    if (!gf_parseServerVersion(versionText, info))
        return false;

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
                            fs::path("input") / "aircraftdb.zip", "input") &&
            fs::exists(database, ec)) {
            lf_storePackVersion("db", info.db);
            gf_log("aircraft database {} installed", info.db);
        }
    }
    const fs::path regcodes = fs::path("input") / "regcodes";
    if (!lf_hasXmlFiles(regcodes) || info.regcodes > gf_localPackVersion("regcodes")) {
        if (lf_downloadPack(handle.get(), gf_simServerUrl(false) + "data/regcodes.zip",
                            fs::path("input") / "regcodes.zip", regcodes)) {
            lf_storePackVersion("regcodes", info.regcodes);
            gf_log("registration codes {} installed", info.regcodes);
        }
    }
    const fs::path airports = fs::path("input") / "airports_msfs.xml";
    if (!fs::exists(airports, ec) || info.airports > gf_localPackVersion("airports")) {
        if (lf_downloadPack(handle.get(), gf_simServerUrl(false) + "data/airports.zip",
                            fs::path("input") / "airports.zip", "input") &&
            fs::exists(airports, ec)) {
            lf_storePackVersion("airports", info.airports);
            gf_log("airport list {} installed", info.airports);
        }
    }
    return true;
}
