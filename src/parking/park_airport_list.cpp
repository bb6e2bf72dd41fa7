// Reading and writing the park-airport list. See park_airport_list.h.
//
// Thread: the main loop (the start-up thread before it starts).
#include "parking/park_airport_list.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "app/status.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/text_file.h"
#include "model/airport_list.h"

std::list<ParkAirport> g_parkAirports;

namespace {

namespace fs = std::filesystem;

constexpr const char* kListName = "my_park_airports.txt";
// A list this long costs a distance each per check: the user is warned.
constexpr std::size_t kManyAirports = 3000;

fs::path lf_listPath()
{
    return fs::path("airports") / kListName;
}

const std::string& lf_plural(std::size_t count)
{
    return count > 1 ? g_pluralSuffix : g_emptyString;
}

}  // namespace

bool lf_isParkAirport(const std::string& code)
{
    return std::any_of(g_parkAirports.begin(), g_parkAirports.end(),
                       [&code](const ParkAirport& entry) { return entry.code == code; });
}

void lf_addThirdpartyParkAirports()
{
    const std::size_t before = g_parkAirports.size();
    const fs::path folder = fs::path("airports") / "my_thirdparty";

    // Collected first and taken in name order, so the list does not depend on the directory order.
    std::vector<fs::path> files;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        throw fs::filesystem_error("directory_iterator::directory_iterator", folder, error);
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const fs::file_status status = it->status(error);
        if (error)
            throw fs::filesystem_error("status", it->path(), error);
        if (fs::is_regular_file(status))
            files.push_back(it->path());
    }
    if (error)
        throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    std::sort(files.begin(), files.end());

    for (const fs::path& file : files) {
        const std::string code = file.stem().string();
        if (lf_isParkAirport(code))
            continue;
        const std::optional<AirportEntry> airport = gf_findAirport(code);
        if (!airport)
            continue;
        g_parkAirports.push_back(ParkAirport{airport->code, {}, airport->lat, airport->lon, 0.0});
    }

    const std::size_t added = g_parkAirports.size() - before;
    if (added > 0)
        gf_log("{} park airport{} added from my_thirdparty folder(-s) ", added, lf_plural(added));
}

bool lf_readMyParkAirports()
{
    bool result = true;
    try {
        g_parkAirports.clear();
        const fs::path path = lf_listPath();
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            gf_log("{} not found", path.string());
        } else {
            for (const std::string& line : gf_readLines(in)) {
                const std::vector<std::string> fields = gf_splitCommas(line);
                if (fields.empty())
                    continue;
                if (fields.size() >= 3) {
                    gf_logError("{}:{} wrong syntax, skipped", kListName, line);
                    continue;
                }
                const std::optional<AirportEntry> airport = gf_findAirport(fields[0]);
                if (!airport) {
                    gf_setStatusLine(tvx::format("airport {} is unknown", fields[0]), true);
                    result = false;
                    continue;
                }
                if (lf_isParkAirport(airport->code)) {
                    gf_logError("{}:{} double, skipped", kListName, airport->code);
                    continue;
                }
                const std::string stand = fields.size() == 2 ? fields[1] : std::string();
                g_parkAirports.push_back(ParkAirport{airport->code, stand, airport->lat, airport->lon, 0.0});
            }
        }
        if (g_parkAirports.empty()) {
            lf_addThirdpartyParkAirports();
            return result;
        }
        const std::size_t count = g_parkAirports.size();
        gf_log("{} park airport{} read from \"{}\"", count, lf_plural(count), kListName);
        if (count > kManyAirports)
            gf_setStatusLine(tvx::format("Warning: There are a lot of airports ({}) in {}, that will cost Tavix "
                                         "much cpu time, and may give stutters",
                                         count, kListName),
                             true);
        lf_addThirdpartyParkAirports();
        return result;
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "lf_readMyParkAirports", e.what());
        return false;
    }
}

bool lf_updateStandLine(std::string& line, const ParkAirport& entry)
{
    const std::vector<std::string> fields = gf_splitCommas(line);
    if (fields.empty() || fields[0] != entry.code)
        return false;
    line = tvx::format("{},{}", entry.code, entry.stand);
    gf_log("{}:{},{} updated stand", kListName, fields[0], entry.stand);
    return true;
}

void gf_updateMyParkAirports()
{
    if (g_parkAirports.empty())
        return;
    const ParkAirport& entry = g_parkAirports.front();
    const std::string newLine = entry.stand.empty() ? entry.code : entry.code + "," + entry.stand;
    const fs::path path = lf_listPath();

    std::vector<std::string> lines;
    std::error_code error;
    if (fs::exists(path, error)) {
        std::ifstream in(path, std::ios::binary);
        // A file that is there but cannot be read is left alone: writing would lose its lines.
        if (!in) {
            gf_logError("{} could not be read, {} not written", path.string(), newLine);
            return;
        }
        lines = gf_readLines(in);
        const auto matched = std::find_if(lines.begin(), lines.end(),
                                          [&entry](std::string& line) { return lf_updateStandLine(line, entry); });
        if (matched == lines.end()) {
            lines.insert(lines.begin(), newLine);
            gf_log("{}:{} new entry", kListName, newLine);
        }
    } else {
        lines.push_back(newLine);
        gf_log("{} created with {}", kListName, newLine);
    }
    std::sort(lines.begin(), lines.end());
    (void)gf_writeLines(lines, path);  // a file that cannot be written is left as it is
}
