// Reading the park airport's parking files: the search for an airport's file, the stock probe
// and download, the learned-file path, and gf_readApf. See park_read.h.
//
// Search order for the airport's ICAO code C (the first hit wins):
//   airports/my_thirdparty/C.txt (link file: its first line)  airports/my_thirdparty/C.xml
//   airports/my_simaddon/C.txt                                  airports/my_simaddon/C.xml
//   the server's stock file archive/stock/C.xml
//
// Thread: the main loop (also the start-up thread for the stock probe of the add-on scan).
#include "parking/park_read.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <optional>

#include <pugixml.hpp>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/text_file.h"
#include "frame/server_files.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/learned_stands.h"
#include "parking/parking_file.h"
#include "traffic_service/traffic_client.h"
#include "win32/win_api.h"

std::uint32_t g_rtTrafficWeek = 0;
std::atomic<double> g_parkAltitude{0.0};
std::atomic<bool> g_apfLoaded{false};
std::atomic<bool> g_parkParamsChanged{false};

namespace {

namespace fs = std::filesystem;

// Where a downloaded park-airport file is kept (overwritten by the next download).
const fs::path lf_parkAirportFile = fs::path("airports") / "park_airport.xml";

// True when the file's status is neither "not found" nor "none"; a status that cannot be read
// throws the filesystem error "exists".
bool lf_exists(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::none)
        throw fs::filesystem_error("exists", path, error);
    return status.type() != fs::file_type::not_found;
}

void lf_replaceFirst(std::string& text, std::string_view what, std::string_view with)
{
    const std::size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
}

void lf_replaceAll(std::string& text, std::string_view what, std::string_view with)
{
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        result.append(text, from, at - from);
        result.append(with);
        from = at + what.size();
    }
    result.append(text, from, std::string::npos);
    text = std::move(result);
}

void lf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
}

// Downloads the URL into the destination on a transfer handle of its own; true on success.
bool lf_fetch(const std::string& url, const fs::path& destination)
{
    CURL* handle = curl_easy_init();
    const bool ok = gf_download(handle, url, destination, g_downloadQuiet);
    if (handle)
        curl_easy_cleanup(handle);
    return ok;
}

// The stock parking file carried with the program (input/stock/<ICAO>.xml, the server's file of
// the program's release) stands in for the server's while the server does not answer.
bool lf_carriedStockApf(const std::string& code, const fs::path& target)
{
    const fs::path carried = fs::path("input") / "stock" / (code + ".xml");
    std::error_code ec;
    if (code.empty() || !fs::is_regular_file(carried, ec))
        return false;
    fs::copy_file(carried, target, fs::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    gf_log("{} taken from {}", code, carried.string());
    return true;
}

}  // namespace

// ---- Finding the file -----------------------------------------------------------------------

bool lf_readApfLink(const fs::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return false;
    // Cut after the last 'l' (".xml"): trailing blanks and line ends go, a line without 'l' is empty.
    const std::size_t lastL = line.rfind('l');
    std::string linked = lastL == std::string::npos ? std::string() : line.substr(0, lastL + 1);
    // The line names a file below the program's folder or a server path: one that climbs out
    // (".."), is rooted or names a drive is not followed, and the search goes on without it.
    if (!linked.empty() && !gf_staysInsideFolder(linked)) {
        gf_logError("link file {}: \"{}\" refused (outside its folder)", path.string(), linked);
        return false;
    }
    text = std::move(linked);
    return true;
}

bool gf_downloadStockApf(const std::string& code, const fs::path& target)
{
    // Stock files exist only in the 2020 folder, whatever the simulator.
    return lf_fetch(gf_simServerUrl(true) + "archive/stock/" + code + ".xml", target) ||
           lf_carriedStockApf(code, target);
}

bool lf_stockApfOnServer(const std::string& code)
{
    const fs::path target = code + ".xml";
    const bool ok = gf_downloadStockApf(code, target);
    if (ok && lf_exists(target))
        fs::remove(target);
    return ok;
}

std::string gf_findApfFile(const AirportEntry& airport)
{
    const std::string txt = airport.code + ".txt";
    const std::string xml = airport.code + ".xml";
    for (const char* folder : {"my_thirdparty", "my_simaddon"}) {
        const fs::path base = fs::path("airports") / folder;
        std::string text;
        if (lf_exists(base / txt) && lf_readApfLink(base / txt, text))
            return text;
        if (lf_exists(base / xml))
            return (base / xml).string();
    }
    if (lf_stockApfOnServer(airport.code))
        return "archive/stock/" + xml;
    return {};
}

bool gf_hasApfFile(const AirportEntry& airport)
{
    for (const char* folder : {"my_thirdparty", "my_simaddon"}) {
        const fs::path base = fs::path("airports") / folder;
        if (lf_exists(base / (airport.code + ".xml")) || lf_exists(base / (airport.code + ".txt")))
            return true;
    }
    return lf_stockApfOnServer(airport.code);
}

std::string lf_downloadApf(const std::string& text, const fs::path& destination)
{
    // Stock files and the companion add-on's files exist only in the 2020 folder.
    const bool forced = text.find("simaddon") != std::string::npos || text.find("stock") != std::string::npos;
    const std::string url = gf_simServerUrl(forced) + text;
    if (lf_fetch(url, destination))
        return {};
    constexpr std::string_view stock = "archive/stock/";
    if (text.starts_with(stock) && lf_carriedStockApf(fs::path(text.substr(stock.size())).stem().string(), destination))
        return {};
    std::string failure = tvx::format("failed to download: \"{}\"", url);
    gf_log(failure);
    return failure;
}

// ---- Learned-file path ----------------------------------------------------------------------

std::string gf_learnedPublisherFolder(const std::string& publisher)
{
    // The publisher comes from the parking file itself: as a folder name it must stay one folder
    // below airports/learned/thirdparty, so separators and "."/".." names are neutralised.
    if (publisher == "." || publisher == "..")
        return "_";
    std::string folder = publisher;
    std::replace_if(folder.begin(), folder.end(), [](char c) { return c == '/' || c == '\\' || c == ':'; }, '_');
    return folder;
}

std::string lf_learnedApfPath(const std::string& text, const std::string& publisher)
{
    if (text.empty())
        return {};
    const std::string learnedRoot = (fs::path("airports") / "learned").string();
    std::string path = text;
    if (path.find("archive") != std::string::npos) {
        lf_replaceFirst(path, "archive", learnedRoot);
        lf_replaceAll(path, "/", "\\");
        lf_replaceAll(path, "%20", " ");
        return path;
    }
    if (!path.starts_with("airports"))
        return path;
    lf_replaceFirst(path, "airports", learnedRoot);
    const std::string thirdparty = "thirdparty\\" + gf_learnedPublisherFolder(publisher);
    if (path.find("my_thirdparty2024") != std::string::npos)
        lf_replaceFirst(path, "my_thirdparty2024", thirdparty);
    else
        lf_replaceFirst(path, "my_thirdparty", thirdparty);
    // The program writes its learned paths with "\" on every host (logs, files); a native text of
    // another host is brought into that form too.
    lf_replaceAll(path, "/", "\\");
    return path;
}

bool gf_insideLearnedFolder(const std::string& pathText)
{
    constexpr std::string_view root = "airports\\learned\\";
    return pathText.starts_with(root) && gf_staysInsideFolder(pathText);
}

fs::path gf_apfNativePath(const std::string& text)
{
#ifdef _WIN32
    return fs::path(win32::utf8ToWide(text));
#else
    std::string native = text;
    std::replace(native.begin(), native.end(), '\\', '/');
    return fs::path(native);
#endif
}

// ---- Reading --------------------------------------------------------------------------------

namespace {

// Header parameters and stands of a loaded parking file (steps 5 to 7 of the read).
void lf_readHeaderAndStands(const pugi::xml_document& doc, ApfHeader& header, QualityPair& quality)
{
    g_rtTrafficWeek = gf_readRtTrafficWeek(doc).value_or(0u);
    header.publisher = gf_readStringParameter(doc, "publisher").value_or(std::string());
    const std::optional<std::int32_t> altitude = gf_readIntParameter(doc, "altitude");
    if (!altitude)
        throw tvx::UserErrorException(65, "Parameter altitude not found");
    header.altitude = *altitude;
    g_parkAltitude.store(static_cast<double>(*altitude));
    header.airportName = gf_readStringParameter(doc, "airport_name").value_or(std::string());

    gf_readParkPositions(doc, 1);
    quality = {gf_readIntParameter(doc, "Qf_real").value_or(-1), gf_readIntParameter(doc, "Qf_soft").value_or(-1)};
}

// The learned file beside the parking file, or the default parking percentage without one.
void lf_applyLearnedFile(const std::string& text, ApfHeader& header, QualityPair& quality)
{
    const std::string learned = lf_learnedApfPath(text, header.publisher);
    header.learnedPath = learned;
    // A link line reaches the learned path nearly unchanged: a path out of airports\learned is
    // neither read nor copied aside, and the parking file's stands are used alone.
    const bool inside = gf_insideLearnedFolder(learned);
    if (!inside)
        gf_logError("learned file \"{}\" refused (outside airports\\learned)", learned);
    if (!inside || !lf_exists(gf_apfNativePath(learned))) {
        g_optParkingPercentage.set(30);
        lf_enableControl(g_optParkingPercentage, false);
        gf_updatePainted([](PaintedValues& p) { p.parkingPercentageEnabled = false; });
        gf_showIntOption(g_optParkingPercentage);
        gf_logIndented(tvx::format("{:24}: {}%", g_optParkingPercentage.key(), 30));
        return;
    }
    lf_readLearned(learned, header);
    quality = gf_qualityFactor();
    if (g_handmadeOverruled.load())
        gf_log("A handmade airport file overruled the archived file!");
}

}  // namespace

std::string gf_readApf(const std::string& text, ApfHeader& header, QualityPair& quality)
{
    try {
        if (text.empty())
            return tvx::format("{} xml is empty...", "gf_readApf");
        if (g_parkAirport.code.empty())
            return tvx::format("{} no park airport set", "gf_readApf");

        fs::path source = gf_apfNativePath(text);
        if (!text.starts_with("airports")) {
            std::string failure = lf_downloadApf(text, lf_parkAirportFile);
            if (!failure.empty())
                return failure;
            source = lf_parkAirportFile;
        }

        g_handmadeOverruled.store(false);
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = doc.load_file(source.c_str());
        if (!loaded)
            return tvx::format("{} could not be loaded: {}", text, loaded.description());
        if (!gf_checkMetaData(doc))
            return tvx::format("{} but refused to load, copyright problem", text);

        lf_readHeaderAndStands(doc, header, quality);
        lf_applyLearnedFile(text, header, quality);

        const int standCount = static_cast<int>(g_parkPositions.size());
        gf_updatePainted([standCount](PaintedValues& p) { p.standCount = standCount; });
        std::uint32_t standId = 0;
        for (ParkPos& stand : g_parkPositions)
            stand.standId = ++standId;
        gf_computeOverlappingStands();

        const bool handmade = g_handmadeOverruled.load();
        const std::string sourceText = handmade ? header.learnedPath : text;
        gf_log("Airport file read from \"{}\" for {}", sourceText, header.airportName);
        gf_updatePainted([&header, handmade](PaintedValues& p) {
            p.publisherText = header.publisher;
            p.handmadeMark = handmade;
        });

        const std::string qualityText = gf_qualityFactorText(quality.first, quality.second);
        gf_logIndented(tvx::format("{:24}: {}", "publisher", header.publisher));
        gf_logIndented(tvx::format("{:24}: {} ft", "altitude", header.altitude));
        gf_logIndented(tvx::format("{:24}: {}", "num_parkpos", g_parkPositions.size()));
        gf_logIndented(tvx::format("{:24}: {}", "quality factor", qualityText));
        gf_logIndented(tvx::format("{:24}: {}", "RT traffic week", g_rtTrafficWeek));
        gf_updatePainted([&qualityText](PaintedValues& p) { p.qualityText = qualityText; });

        // The traffic reader takes the altitude and the stands once this flag is up.
        g_apfLoaded.store(true);
        lf_enableControl(g_btnFlushStatic, true);
        gf_updatePainted([](PaintedValues& p) { p.flushStaticEnabled = true; });
        g_parkParamsChanged.store(false);

        g_trafficClient.setReferenceElevation(g_parkAirport.code.empty() ? std::nullopt
                                                                         : std::optional<double>(g_parkAltitude.load()));
        InvalidateRect(g_hWnd, nullptr, TRUE);
        return g_parkPositions.empty() ? "no stands found" : std::string();
    } catch (const tvx::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return tvx::format("{}: {}", "gf_readApf", e.what());
    }
}
