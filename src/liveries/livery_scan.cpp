// The livery scan, LiveriesScanned.xml and the livery reports. The start-up thread walks the
// folders, merges the results and sets the table; worker threads only read and parse files.
#include "liveries/livery_scan.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <pugixml.hpp>

#include "foundation/log.h"
#include "foundation/settings_store.h"
#include "foundation/text_file.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_tables.h"

namespace fs = std::filesystem;

namespace {

// The model folder an aircraft.cfg belongs to: its own folder, or for the presets layout
// (<model>/config/aircraft.cfg) the folder above "config". Lower case.
std::string lf_modelFolderKey(const fs::path& cfg)
{
    fs::path folder = cfg.parent_path();
    if (gf_lower(folder.filename().string()) == "config")
        folder = folder.parent_path();
    return gf_lower(folder.filename().string());
}

// Last component of a base_container value such as "..\Asobo_A320_NEO". Lower case.
std::string lf_baseContainerKey(std::string_view value)
{
    while (!value.empty() && (value.back() == '\\' || value.back() == '/'))
        value.remove_suffix(1);
    const std::size_t cut = value.find_last_of("\\/");
    return gf_lower(cut == std::string_view::npos ? value : value.substr(cut + 1));
}

struct ParsedFile {
    AircraftCfg cfg;
    std::string error;
    bool ok = false;
};

bool lf_readFile(const fs::path& path, std::string& buffer)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return false;
    buffer.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(buffer.data(), size);
    return static_cast<bool>(in) || in.gcount() == size;
}

// Parses every file on at most the processor count of worker threads, each reusing one buffer.
std::vector<ParsedFile> lf_parseAll(const std::vector<AircraftCfgFile>& files)
{
    std::vector<ParsedFile> parsed(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::string buffer;
        for (std::size_t i = next++; i < files.size(); i = next++) {
            ParsedFile& out = parsed[i];
            if (!lf_readFile(files[i].path, buffer)) {
                out.error = "could not be read";
                continue;
            }
            out.ok = gf_parseAircraftCfg(buffer, out.cfg, out.error);
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t count = std::min(cores, files.size() / 32 + 1);
    std::vector<std::jthread> workers;
    for (std::size_t w = 1; w < count; ++w)
        workers.emplace_back(work);
    work();
    return parsed;
}

// The sub-folders of a folder in name order.
std::vector<fs::path> lf_listFolders(const fs::path& folder)
{
    std::error_code ec;
    std::vector<fs::path> folders;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            folders.push_back(it->path());
    }
    if (ec)
        gf_logError("livery scan: {} could not be listed: {}", folder.string(), ec.message());
    std::sort(folders.begin(), folders.end());
    return folders;
}

}  // namespace

std::vector<AircraftCfgFile> gf_findAircraftCfgFiles(const std::vector<fs::path>& roots,
                                                     std::size_t* packageCount)
{
    std::vector<AircraftCfgFile> found;
    std::uint32_t order = 0;
    for (const fs::path& root : roots) {
        std::vector<fs::path> packages = lf_listFolders(root);
        // The 2020 store and Steam editions keep their official packages one level deeper.
        std::vector<fs::path> expanded;
        for (const fs::path& folder : packages) {
            const std::string name = gf_lower(folder.filename().string());
            if (name == "onestore" || name == "steam") {
                const auto inner = lf_listFolders(folder);
                expanded.insert(expanded.end(), inner.begin(), inner.end());
            } else {
                expanded.push_back(folder);
            }
        }
        packages = std::move(expanded);
        for (const fs::path& package : packages) {
            std::vector<fs::path> files;
            std::error_code walkEc;
            for (fs::recursive_directory_iterator
                     it(package, fs::directory_options::skip_permission_denied, walkEc),
                 end;
                 !walkEc && it != end; it.increment(walkEc)) {
                std::error_code typeEc;
                if (it->is_regular_file(typeEc) &&
                    gf_lower(it->path().filename().string()) == "aircraft.cfg")
                    files.push_back(it->path());
            }
            if (walkEc)
                gf_logError("livery scan: {} could not be walked: {}", package.string(),
                            walkEc.message());
            std::sort(files.begin(), files.end());
            for (fs::path& f : files)
                found.push_back({std::move(f), order});
            ++order;
        }
    }
    if (packageCount)
        *packageCount = order;
    return found;
}

LiveryScanStats gf_scanLiveries(const std::vector<fs::path>& roots)
{
    LiveryScanStats stats;
    const std::vector<AircraftCfgFile> files = gf_findAircraftCfgFiles(roots, &stats.packages);
    stats.files = files.size();
    std::vector<ParsedFile> parsed = lf_parseAll(files);

    // A livery-only package takes the type of the model folder it builds on. Tables are sized
    // for the tree up front: no rehash walks them again as the tree grows.
    std::size_t liveryCount = 0;
    for (const ParsedFile& p : parsed)
        liveryCount += p.ok ? p.cfg.liveries.size() : 0;
    std::unordered_map<std::string, std::string> typeOfFolder;
    typeOfFolder.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (parsed[i].ok && !parsed[i].cfg.acType.empty())
            typeOfFolder.emplace(lf_modelFolderKey(files[i].path), parsed[i].cfg.acType);

    std::vector<LiveryData> liveries;
    liveries.reserve(liveryCount);
    // The titles seen, viewed where the parsed files hold them: a livery is moved into the table
    // only once every title is in the set, so that no view points into a moved string.
    std::unordered_set<std::string_view> titles;
    titles.reserve(liveryCount);
    std::vector<std::pair<LiveryData*, const std::string*>> kept;  // the livery and its type
    kept.reserve(liveryCount);
    std::vector<std::string> types(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        ParsedFile& p = parsed[i];
        if (!p.ok) {
            ++stats.badFiles;
            gf_logError("aircraft.cfg {} skipped: {}", files[i].path.string(), p.error);
            continue;
        }
        stats.badTitles += p.cfg.badTitles;
        if (p.cfg.badTitles > 0)
            gf_logError("aircraft.cfg {}: {} titles that are not valid UTF-8 skipped",
                        files[i].path.string(), p.cfg.badTitles);
        std::string& type = types[i];
        type = p.cfg.acType;
        if (type.empty()) {
            const std::string key = p.cfg.baseContainer.empty()
                                        ? lf_modelFolderKey(files[i].path)
                                        : lf_baseContainerKey(p.cfg.baseContainer);
            if (auto it = typeOfFolder.find(key); it != typeOfFolder.end())
                type = it->second;
        }
        for (LiveryData& l : p.cfg.liveries) {
            if (type.empty()) {
                ++stats.withoutType;
                continue;
            }
            if (!titles.insert(l.title).second) {
                ++stats.duplicateTitles;
                continue;
            }
            l.folderOrder = files[i].folderOrder;
            kept.emplace_back(&l, &type);
        }
    }
    for (const auto& [l, type] : kept) {
        l->acType = *type;
        liveries.push_back(std::move(*l));
    }
    stats.liveries = liveries.size();
    gf_setLiveries(std::move(liveries));
    gf_log("Livery scan: {} aircraft.cfg files in {} packages, {} liveries ({} without aircraft "
           "type, {} duplicate titles, {} invalid titles, {} files skipped)",
           stats.files, stats.packages, stats.liveries, stats.withoutType, stats.duplicateTitles,
           stats.badTitles, stats.badFiles);
    return stats;
}

bool gf_liveryScanDue(const fs::path& scannedFile, bool versionUpdated, bool rescanRequested)
{
    std::error_code ec;
    return versionUpdated || rescanRequested || !fs::exists(scannedFile, ec);
}

bool gf_writeLiveriesScanned(const fs::path& file)
{
    pugi::xml_document doc;
    gf_addMetaData(doc);
    pugi::xml_node list = doc.append_child("liveries");
    for (const LiveryData& l : gf_liveries()) {
        pugi::xml_node n = list.append_child("l");
        n.append_attribute("airline") = l.airline.c_str();
        n.append_attribute("type") = l.acType.c_str();
        n.append_attribute("title") = l.title.c_str();
        n.append_attribute("atcid") = l.atcId.c_str();
        n.append_attribute("order") = l.folderOrder;
        n.append_attribute("cargo") = l.cargo ? "true" : "false";
    }
    std::error_code ec;
    if (file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    if (!doc.save_file(file.c_str(), "  ", pugi::format_default, pugi::encoding_utf8)) {
        gf_logError("{} could not be written", file.string());
        return false;
    }
    return true;
}

bool gf_readLiveriesScanned(const fs::path& file)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(file.c_str());
    if (!result) {
        gf_logError("{} not read: {} at offset {}", file.string(), result.description(),
                    result.offset);
        return false;
    }
    const pugi::xml_node list = doc.child("liveries");
    if (!list) {
        gf_logError("{} not read: no <liveries> element", file.string());
        return false;
    }
    std::vector<LiveryData> liveries;
    std::unordered_set<std::string> titles;
    std::size_t skipped = 0;
    for (const pugi::xml_node& n : list.children("l")) {
        LiveryData l;
        l.title = n.attribute("title").as_string();
        l.acType = n.attribute("type").as_string();
        if (l.title.empty() || l.acType.empty() || !gf_isValidUtf8(l.title) ||
            !titles.insert(l.title).second) {
            ++skipped;
            continue;
        }
        l.airline = n.attribute("airline").as_string();
        l.atcId = n.attribute("atcid").as_string();
        l.folderOrder = n.attribute("order").as_uint();
        l.cargo = std::string_view(n.attribute("cargo").as_string()) == "true" ? 1 : 0;
        liveries.push_back(std::move(l));
    }
    if (skipped > 0)
        gf_logError("{}: {} malformed liveries skipped", file.string(), skipped);
    if (liveries.empty()) {
        // An empty list (a scan that found no packages) is not kept: scan again.
        gf_logError("{} holds no liveries", file.string());
        return false;
    }
    gf_log("{}: {} liveries", file.filename().string(), liveries.size());
    gf_setLiveries(std::move(liveries));
    return true;
}

std::size_t gf_loadOrScanLiveries(const std::vector<fs::path>& roots, const fs::path& scannedFile,
                                  const fs::path& infoFolder, bool versionUpdated,
                                  bool rescanRequested)
{
    const bool due = gf_liveryScanDue(scannedFile, versionUpdated, rescanRequested);
    if (due || !gf_readLiveriesScanned(scannedFile)) {
        gf_scanLiveries(roots);
        gf_writeLiveriesScanned(scannedFile);
    }
    gf_writeLiveryReports(infoFolder);
    return gf_liveries().size();
}

std::vector<std::string> gf_liveriesByTypeLines()
{
    std::vector<const LiveryData*> sorted;
    for (const LiveryData& l : gf_liveries())
        sorted.push_back(&l);
    std::sort(sorted.begin(), sorted.end(), [](const LiveryData* a, const LiveryData* b) {
        return std::tie(a->acType, a->airline, a->title) < std::tie(b->acType, b->airline, b->title);
    });
    std::vector<std::string> lines;
    lines.reserve(sorted.size());
    for (const LiveryData* l : sorted)
        lines.push_back(tvx::format("{:4} {:3} {}", l->acType, l->airline, l->title));
    return lines;
}

std::vector<std::string> gf_liveriesNoAirlineLines()
{
    std::vector<const LiveryData*> sorted;
    for (const LiveryData& l : gf_liveries())
        if (l.airline.empty())
            sorted.push_back(&l);
    std::sort(sorted.begin(), sorted.end(), [](const LiveryData* a, const LiveryData* b) {
        return std::tie(a->acType, a->title) < std::tie(b->acType, b->title);
    });
    std::vector<std::string> lines;
    lines.reserve(sorted.size());
    for (const LiveryData* l : sorted)
        lines.push_back(tvx::format("{:4} {}", l->acType, l->title));
    return lines;
}

bool gf_writeLiveryReports(const fs::path& infoFolder)
{
    std::error_code ec;
    fs::create_directories(infoFolder, ec);
    bool ok = gf_writeLines(gf_liveriesByTypeLines(), infoFolder / "LiveriesByType.txt");
    ok = gf_writeLines(gf_liveriesNoAirlineLines(), infoFolder / "LiveriesNoAirline.txt") && ok;
    if (!ok)
        gf_logError("livery reports could not be written to {}", infoFolder.string());
    return ok;
}
