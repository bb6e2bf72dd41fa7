// The add-on airport scan's driver: roots, the recursive walk with one worker task per airport
// BGL file, the scan log and the end of the scan. The start-up thread runs everything here except
// lf_addScanMessage, which the workers call too. See addon_scan.h.
#include "parking/addon_scan.h"

#include <exception>
#include <future>
#include <list>
#include <system_error>
#include <thread>
#include <utility>

#include "app/exit.h"
#include "app/folders.h"
#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "app/window_model.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/task_gate.h"
#include "foundation/text_file.h"
#include "liveries/packages.h"
#include "model/airport_list.h"
#include "parking/archive_links.h"
#include "parking/bgl_decode.h"

namespace fs = std::filesystem;

std::vector<std::string> g_scanMessages;
std::mutex g_scanMessagesMutex;
std::atomic<bool> g_addonAirportFound{false};
std::atomic<std::int32_t> g_tbloCount{0};

namespace {

constexpr const char* kErrorPrefix = "===> ";
constexpr std::size_t kScanMessageRoom = 2048;

// Folder texts that mark aircraft, tools and other non-airport packages: never entered.
constexpr std::string_view kSkippedPathParts[] = {
    "tutorials", "aircraft", "bushtrip", "discovery", "point-of-interest", "simobjects", "vcockpits",
    "aig-aitraffic", "justflight-aicraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};

// BGL files under these path texts hold no airport stands worth reading.
constexpr std::string_view kNotDecodedPathParts[] = {"statics", "AFCAD Updates", "_heliports"};

bool lf_exiting()
{
    return g_exitRequested.load() || g_shuttingDown.load();
}

bool lf_isAirportTask(const fs::directory_entry& entry, const std::string& text)
{
    std::error_code ec;
    const fs::file_status status = entry.status(ec);
    if (ec && status.type() != fs::file_type::not_found && status.type() != fs::file_type::unknown)
        throw fs::filesystem_error("status", entry.path(), ec);
    if (status.type() != fs::file_type::regular)
        return false;
    if (!lf_isBglExtension(entry.path().extension().string()))
        return false;
    for (std::string_view part : kNotDecodedPathParts)
        if (text.find(part) != std::string::npos)
            return false;
    return lf_hasAirportSection(entry.path());
}

// Waits for the front future; an invalid one is reported and dropped instead of waited for.
void lf_waitFront(std::list<std::future<void>>& futures)
{
    std::future<void> front = std::move(futures.front());
    futures.pop_front();
    if (!front.valid()) {
        lf_addScanMessage(tvx::format("{}futs #1 not yet valid ? ...", kErrorPrefix));
        return;
    }
    front.get();
}

// Starts one worker for the file. The gate slot goes with the worker and is given back when the
// decoding ends, before its future becomes ready (so a walker that has waited for every future
// finds the gate empty), or at once when the thread cannot be started.
void lf_startTask(const fs::path& file, std::list<std::future<void>>& futures)
{
    TaskGateSlot slot;
    std::promise<void> done;
    std::future<void> future = done.get_future();
    std::thread([done = std::move(done), slot = std::move(slot), file]() mutable {
        std::exception_ptr failure;
        try {
            lf_toParkingPositions(file);
        } catch (...) {
            failure = std::current_exception();
        }
        slot.leave();
        if (failure)
            done.set_exception(failure);
        else
            done.set_value();
    }).detach();
    futures.push_back(std::move(future));
}

}  // namespace

fs::path gf_airportsScanLogPath()
{
    return fs::path("output") / "info" / "AirportsScanLog.txt";
}

void lf_addScanMessage(std::string text)
{
    std::lock_guard lock(g_scanMessagesMutex);
    g_scanMessages.push_back(std::move(text));
}

bool lf_isSkippedScanPath(std::string_view path)
{
    if (path.size() >= 250)
        return true;
    if (path.find("fs-base") != std::string_view::npos)
        return true;
    for (std::string_view part : kSkippedPathParts)
        if (path.find(part) != std::string_view::npos)
            return true;
    return false;
}

bool lf_isBglExtension(std::string_view extension)
{
    return extension == ".BGL" || extension == ".bgl";
}

void lf_walkAirportFolder(const fs::path& root)
{
    const std::string rootText = root.string();
    lf_addScanMessage("Scanning for addon airports in " + rootText);
    std::list<std::future<void>> futures;

    try {
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied);
        for (; it != fs::recursive_directory_iterator(); ++it) {
            bool stop = false;
            try {
                const fs::directory_entry& entry = *it;
                const std::string text = entry.path().string();
                if (lf_isSkippedScanPath(text)) {
                    it.disable_recursion_pending();
                    continue;
                }
                if (!lf_isAirportTask(entry, text))
                    continue;
                if (lf_exiting()) {
                    stop = true;
                } else {
                    lf_startTask(entry.path(), futures);
                }
            } catch (const std::exception& e) {
                lf_addScanMessage(tvx::format("{} airports search in folder {} aborted, cause: {}", kErrorPrefix,
                                              rootText, e.what()));
            }
            if (stop)
                break;
            // Never more futures outstanding than tasks may run: wait for the oldest.
            if (futures.size() > gf_taskGateLimit()) {
                try {
                    lf_waitFront(futures);
                } catch (const std::exception& e) {
                    lf_addScanMessage(tvx::format("{} airports search aborted, futs inner, \n{}\n{}\n{}",
                                                  kErrorPrefix, e.what(), futures.size(), rootText));
                }
            }
        }
    } catch (const std::exception& e) {
        // The iteration itself failed: this root's walk ends. The tasks already started are still
        // waited for below, so the scan log is written only after every task has ended.
        lf_addScanMessage(tvx::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                      kErrorPrefix, rootText, e.what()));
    }

    while (!futures.empty()) {
        try {
            lf_waitFront(futures);
        } catch (const std::exception& e) {
            lf_addScanMessage(
                tvx::format("{} airports search in {} aborted, futs outer error: {}", kErrorPrefix, rootText, e.what()));
        }
    }
}

void lf_scanAirportRoot(const std::string& root)
{
    if (root.empty())
        return;
    std::error_code ec;
    const fs::file_status status = fs::status(root, ec);
    if (status.type() == fs::file_type::not_found) {
        gf_setStatusLine(root + " does not exist, skipped!", true);
        return;
    }
    if (ec)
        throw fs::filesystem_error("status", fs::path(root), ec);
    if (status.type() == fs::file_type::directory)
        lf_walkAirportFolder(root);
    else
        gf_setStatusLine(root + " is not a folder name, skipped!", true);
}

bool lf_runAirportScan(const std::vector<std::string>& roots)
{
    const fs::path logPath = gf_airportsScanLogPath();
    std::error_code ec;
    if (fs::exists(logPath, ec)) {
        fs::remove(logPath, ec);
        if (ec)
            gf_log("problems with removing previous files (maybe still open?)");
    }

    g_tbloCount = 0;
    {
        std::lock_guard lock(g_scanMessagesMutex);
        if (g_scanMessages.capacity() < kScanMessageRoom)
            g_scanMessages.reserve(kScanMessageRoom);
    }
    // TBLO entries of the last scan go now, so that those written during this walk survive the
    // TBLO pass and match the count the window shows.
    fs::remove_all(gf_tbloFolder());

    for (const std::string& root : roots)
        lf_scanAirportRoot(root);

    {
        std::lock_guard lock(g_scanMessagesMutex);
        gf_writeLines(g_scanMessages, logPath);
        gf_log("{} written", logPath.string());
        g_scanMessages.clear();
    }
    gf_clearStatusLine();

    lf_tbloPass();

    if (g_addonAirportFound.load())
        gf_log("Airports scan successful");
    return g_addonAirportFound.load();
}

void gf_scanAddonAirports()
{
    gf_setStatusLine("Scanning for addon airports ...", false);
    gf_log("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "");

    const bool is2020 = g_simIs2020.load();
    std::vector<std::string> roots;
    roots.reserve(10);
    const auto addRoot = [&roots](const char* sub) {
        const fs::path root = gf_packagesPath(sub);
        if (!root.empty())
            roots.push_back(root.string());
    };
    if (is2020)
        addRoot("Official");
    addRoot("Community");

    gf_readAirportNames();
    if (is2020)
        gf_removeFolderFiles(gf_simaddonFolder());
    gf_removeFolderFiles(gf_thirdpartyFolder());

    if (!lf_runAirportScan(roots))
        gf_setStatusLine("Warning: Scan has not found any add-on airports", true);

    // The scan is done until the user asks for it again.
    gf_setCheckBox(g_optScanAirports, false);
    g_optScanAirports.save();
    const std::int32_t tblo = g_tbloCount.load();
    gf_updatePainted([tblo](PaintedValues& painted) {
        painted.tbloText =
            tblo > 0 ? tvx::format("{} airport{} in {} folder", tblo, tblo == 1 ? "" : "s", "TBLO") : std::string();
    });

    g_airportNames.clear();
    gf_log("-------------------------- airports scan ends    ----------------------------\n");
}

void gf_installAddonScan()
{
    g_hooks.scanAddonAirports = [] { gf_scanAddonAirports(); };
    g_hooks.clearAddonAirportFound = [] { g_addonAirportFound.store(false); };
}
