// Archive links, generated airport files and TBLO entries of the add-on airport scan. Scan worker
// threads; see archive_links.h.
#include "parking/archive_links.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>
#include <cctype>
#include <optional>

#include "foundation/format.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "liveries/publishers.h"
#include "model/airport_list.h"
#include "parking/addon_scan.h"
#include "parking/package_manifest.h"
#include "parking/parking_file.h"

namespace fs = std::filesystem;

std::mutex g_publisherMutex;

namespace {

constexpr const char* kErrorPrefix = "===> ";

// Two files of the same airport may be decoded at once; their generated files are written one
// after the other (the later one wins), never interleaved.
std::mutex g_generateMutex;

const char* lf_plural(std::int64_t n)
{
    return n == 1 ? "" : "s";
}

ApfFileHeader lf_toApfHeader(const ScannedAirport& airport)
{
    ApfFileHeader record;
    record.airportName = airport.airportName;
    record.bglPath = airport.bglPath;
    record.publisher = airport.publisher;
    record.manufacturer = airport.manufacturer;
    record.creator = airport.creator;
    record.altitude = airport.altitude;
    return record;
}

// Writes "<code>.txt" holding the archive path. A link that cannot be written is reported and
// the airport counts as not linked, so that its stands are still generated.
bool lf_writeLinkFile(const std::string& archive, const fs::path& folder, const std::string& code)
{
    fs::create_directories(folder);
    const fs::path link = folder / (code + ".txt");
    if (gf_writeTextFile(archive, link, true))
        return true;
    lf_addScanMessage(tvx::format("{}Linking {} did not succeed", kErrorPrefix, link.string()));
    return false;
}

}  // namespace

fs::path gf_simaddonFolder()
{
    return fs::path("airports") / "my_simaddon";
}

fs::path gf_thirdpartyFolder()
{
    return fs::path("airports") / "my_thirdparty";
}

fs::path gf_tbloFolder()
{
    return "TBLO";
}

std::optional<std::string> lf_findSimaddonArchive(const std::string& code)
{
    if (g_simaddonAirports.contains(code))
        return "archive/" + std::string("simaddon") + "/" + code + ".xml";
    lf_addScanMessage(tvx::format("{} does not exist as simaddon", code));
    return std::nullopt;
}

bool lf_linkSimaddonAirport(const ScannedAirport& record)
{
    const std::optional<std::string> archive = lf_findSimaddonArchive(record.code);
    if (!archive)
        return false;
    if (!lf_writeLinkFile(*archive, gf_simaddonFolder(), record.code))
        return false;
    lf_addScanMessage(tvx::format("{} airport {} linked to {}", "simaddon", record.code, *archive));
    return true;
}

std::optional<std::string> lf_findThirdpartyArchive(const std::string& publisher, const ScannedAirport& record,
                                                    std::int32_t& archived)
{
    std::string key;
    for (char c : publisher)
        key += c == ' ' ? std::string("%20") : std::string(1, c);
    const std::vector<PublisherAirports>& lists = g_simIs2020.load() ? g_thirdparties2020 : g_thirdparties2024;
    for (const PublisherAirports& list : lists) {
        if (list.publisher != publisher)
            continue;
        for (const std::string& entry : list.airports) {
            std::uint32_t count = 0;
            if (gf_matchThirdpartyEntry(entry, record.code, count)) {
                archived = static_cast<std::int32_t>(std::min<std::uint32_t>(count, INT32_MAX));
                return "archive/thirdparty/" + key + "/" + record.code + ".xml";
            }
        }
    }
    lf_addScanMessage(tvx::format("thirdparty {} {} does not exist", publisher, record.code));
    return std::nullopt;
}

bool lf_linkThirdpartyAirport(const std::string& publisher, const ScannedAirport& record, std::int32_t& archived)
{
    const std::optional<std::string> archive = lf_findThirdpartyArchive(publisher, record, archived);
    if (!archive)
        return false;
    if (!lf_writeLinkFile(*archive, gf_thirdpartyFolder(), record.code))
        return false;
    lf_addScanMessage(tvx::format("thirdparty airport {} linked to {}", record.code, *archive));
    return true;
}

bool lf_linkArchivedAirport(ScannedAirport& record, std::int32_t& archived, const std::string& bglPath)
{
    std::lock_guard lock(g_publisherMutex);
    archived = 0;
    record.bglPath = bglPath;
    PublisherInfo info = gf_detectPublisher(bglPath);
    record.publisher = std::move(info.publisher);
    record.manufacturer = std::move(info.manufacturer);
    record.creator = std::move(info.creator);
    record.title = std::move(info.title);

    bool linked = false;
    if (record.publisher == "unknown")
        return false;
    if (record.publisher == "simaddon")
        linked = lf_linkSimaddonAirport(record);
    else
        linked = lf_linkThirdpartyAirport(record.publisher, record, archived);
    if (linked)
        g_addonAirportFound.exchange(true);
    return linked;
}

namespace {

// The stands in the order of their names as strings compare (byte by byte, a prefix first): each
// name's characters, zero-padded to 24 bytes, read as three big-endian words, so that thousands of
// stands sort by integer comparisons instead of string comparisons.
void lf_sortByName(std::vector<ScannedStand>& stands)
{
    struct Key {
        std::array<std::uint64_t, 3> words;
        std::uint32_t index;
    };
    std::vector<Key> keys(stands.size());
    for (std::uint32_t i = 0; i < stands.size(); ++i) {
        const std::string_view name = stands[i].name.view();
        std::array<unsigned char, 24> bytes{};
        std::memcpy(bytes.data(), name.data(), std::min(name.size(), bytes.size()));
        Key& key = keys[i];
        for (std::size_t w = 0; w < 3; ++w) {
            key.words[w] = 0;
            for (std::size_t b = 0; b < 8; ++b)
                key.words[w] = key.words[w] << 8 | bytes[w * 8 + b];
        }
        key.index = i;
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.words < b.words; });
    std::vector<ScannedStand> sorted;
    sorted.reserve(stands.size());
    for (const Key& key : keys)
        sorted.push_back(stands[key.index]);
    stands = std::move(sorted);
}

}  // namespace

void lf_generateAirportFile(ScannedAirport& record)
{
    const auto m = static_cast<std::int64_t>(record.stands.size());
    if (m < 1)
        return;
    const fs::path folder = record.publisher == "simaddon" ? gf_simaddonFolder() : gf_thirdpartyFolder();
    std::string helipads;
    if (record.helipadCounter >= 2) {
        const std::int64_t h = record.helipadCounter - 1;
        helipads = tvx::format(", of which {} helipad{}", h, lf_plural(h));
    }
    lf_addScanMessage(tvx::format("Generated {}: {} position{}", record.code + ".xml", m, lf_plural(m)) + helipads);

    lf_sortByName(record.stands);
    fs::create_directories(folder);
    const fs::path path = folder / (record.code + ".xml");
    bool written = false;
    {
        std::lock_guard lock(g_generateMutex);
        written = gf_writeScannedApf(lf_toApfHeader(record), record.stands, path);
    }
    if (!written) {
        lf_addScanMessage(tvx::format("{}Generating {} did not succeed", kErrorPrefix, path.string()));
        return;
    }
    g_addonAirportFound.exchange(true);
}

void lf_handleUnrecognisedAirport(const std::string& bglPath)
{
    lf_addScanMessage(tvx::format("\n==> Not recognised airport {}", bglPath));

    std::string code;
    std::string stem = fs::path(bglPath).stem().string();
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (stem.size() == 4 && gf_findAirport(stem)) {
        code = stem;
        lf_addScanMessage("Not recognised airport has ICAO code \"" + code + "\" as BGL stem");
    } else {
        const ManifestInfo manifest = lf_searchManifest(bglPath);
        if (!manifest.found)
            return;
        for (const AirportEntry& airport : g_airports) {
            if (!airport.code.empty() && manifest.title.starts_with(airport.code)) {
                code = airport.code;
                lf_addScanMessage("Not recognised airport has ICAO \"" + code + "\" in title \"" + manifest.title +
                                  "\" of manifest");
                break;
            }
        }
        if (code.empty()) {
            for (const AirportEntry& airport : g_airports) {
                if (!airport.code.empty() && lf_codeInText(bglPath, airport)) {
                    code = airport.code;
                    lf_addScanMessage("Not recognised airport has ICAO \"" + code + "\" in BGL path \"" + bglPath +
                                      "\"");
                    break;
                }
            }
        }
        if (code.empty()) {
            lf_addScanMessage("==================> Not recognised airport lost ... \"" + bglPath + "\"");
            return;
        }
    }

    ScannedAirport record;
    record.code = code;
    std::int32_t archived = 0;
    if (lf_linkArchivedAirport(record, archived, bglPath) || record.publisher == "simaddon")
        return;

    fs::create_directories(gf_tbloFolder());
    const std::string fileName = code + ".xml";
    gf_writeLines({record.bglPath, code + " by " + record.publisher + ", title: " + record.title +
                                       " crea: " + record.creator + " manu: " + record.manufacturer},
                  gf_tbloFolder() / fileName);
    lf_addScanMessage(tvx::format("==> TBLO entry {} created ", fileName));
    g_tbloCount.fetch_add(1);
}
