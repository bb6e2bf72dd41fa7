// Files from the maker's server: the server's base address, one-file downloads over a caller's
// libcurl handle and a safe zip extractor over libzip. gf_download moves one URL into one file; the
// transfer goes to "<dest>.part" first and replaces dest only when complete, so a failure never
// leaves a half file where a good one was. gf_unzip refuses entries that would land outside the
// target folder. No shared state besides g_serverBaseUrl, which is set before any thread starts.
#include "frame/server_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <zip.h>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "frame/status.h"

namespace fs = std::filesystem;

std::string g_serverBaseUrl = "https://download.tavix.app/";

namespace {

std::string lf_errorText(int error)
{
    return error != 0 ? std::generic_category().message(error) : std::string("write error");
}

constexpr const char* g_defaultServerBase = "https://download.tavix.app/";

// Each thread downloads on its own handle; its last failure is its own.
thread_local std::string t_lastDownloadFailure;

void lf_downloadFailed(std::string text)
{
    gf_log(text);
    t_lastDownloadFailure = std::move(text);
}

struct Transfer {
    std::FILE* file = nullptr;
    bool writeFailed = false;
    int writeError = 0;  // errno of the failed write
    int flag = 0;
    std::string name;
    curl_off_t lastShownKb = -1;
};

size_t lf_writeChunk(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    errno = 0;
    if (std::fwrite(data, 1, bytes, transfer->file) != bytes) {
        transfer->writeFailed = true;
        transfer->writeError = errno;
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

// Writes one entry to target through target.part. False with the reason when it cannot.
bool lf_extractEntry(zip_t* archive, zip_uint64_t index, const fs::path& target, std::string& problem)
{
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (entry == nullptr) {
        problem = "unreadable entry";
        return false;
    }
    fs::path part = target;
    part += ".part";
    errno = 0;
    std::FILE* out = gf_openFile(part, "wb");
    bool ok = out != nullptr;
    if (!ok)
        problem = lf_errorText(errno);
    char buffer[65536];
    while (ok) {
        const zip_int64_t got = zip_fread(entry, buffer, sizeof(buffer));
        if (got < 0) {
            ok = false;
            problem = "unreadable entry";
        }
        if (got <= 0)
            break;
        errno = 0;
        if (std::fwrite(buffer, 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
            ok = false;
            problem = lf_errorText(errno);
        }
    }
    if (out != nullptr) {
        errno = 0;
        if (std::fclose(out) != 0 && ok) {
            ok = false;
            problem = lf_errorText(errno);
        }
    }
    zip_fclose(entry);
    std::error_code ec;
    if (ok) {
        fs::rename(part, target, ec);
        if (ec)
            problem = ec.message();
    }
    if (!ok || ec) {
        fs::remove(part, ec);
        return false;
    }
    return true;
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

bool gf_download(CURL* handle, const std::string& url, const fs::path& dest, int flag, std::string* writeProblem)
{
    if (handle == nullptr) {
        t_lastDownloadFailure = "download of " + url + " failed: no transfer handle";
        return false;
    }
    // The file cannot be kept here (a full disk, no permission): the user must know, the download
    // itself went well or was never tried.
    auto cannotWrite = [&](std::string_view what, const std::string& reason) {
        gf_logError("{}: {}: {}", what, dest.string(), reason);
        const std::string problem = tvx::format("{} could not be written: {}", dest.string(), reason);
        gf_showErrorLine(problem);
        if (writeProblem != nullptr)
            *writeProblem = problem;
        t_lastDownloadFailure = problem;
    };
    fs::path part = dest;
    part += ".part";
    Transfer transfer;
    transfer.flag = flag;
    transfer.name = dest.filename().string();
    errno = 0;
    transfer.file = gf_openFile(part, "wb");
    if (transfer.file == nullptr) {
        cannotWrite("could not open output file", lf_errorText(errno));
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
    errno = 0;
    const bool closed = std::fclose(transfer.file) == 0;
    if (!closed && !transfer.writeFailed)
        transfer.writeError = errno;
    // The handle belongs to the caller; leave no pointer to this frame's data in it.
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);

    std::error_code ec;
    if (result != CURLE_OK || transfer.writeFailed || !closed) {
        if (transfer.writeFailed || (result == CURLE_OK && !closed))
            cannotWrite("could not write output file", lf_errorText(transfer.writeError));
        else
            lf_downloadFailed(tvx::format("download of {} failed: {}", url, curl_easy_strerror(result)));
        fs::remove(part, ec);
        return false;
    }
    fs::rename(part, dest, ec);
    if (ec) {
        cannotWrite("could not write output file", ec.message());
        fs::remove(part, ec);
        return false;
    }
    return true;
}

std::string gf_lastDownloadFailure()
{
    return t_lastDownloadFailure;
}

bool gf_unzip(const fs::path& zipFile, const fs::path& folder, std::string* writeProblem)
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
        std::string problem;
        if (!lf_extractEntry(archive, static_cast<zip_uint64_t>(i), target, problem)) {
            gf_logError("archive {}: entry \"{}\" could not be extracted: {}", zipFile.string(), name, problem);
            if (writeProblem != nullptr && writeProblem->empty())
                *writeProblem = tvx::format("{} could not be written: {}", target.string(), problem);
            ok = false;
        }
    }
    zip_discard(archive);
    return ok;
}
