// Airport list: reading airports_msfs.xml and airports_msfs_names.xml, the lookup by code.
// Start-up thread (reading), then read only.
#include "model/airport_list.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include <pugixml.hpp>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"

std::vector<AirportEntry> g_airports;
std::unordered_map<std::string, std::string> g_airportNames;
AirportEntry g_parkAirport;
std::string g_reservedStand;

namespace {

constexpr std::size_t kAirportReserve = 44000;

bool s_airportsRead = false;

const std::filesystem::path& lf_airportsPath()
{
    static const std::filesystem::path path = std::filesystem::path("input") / "airports_msfs.xml";
    return path;
}

const std::filesystem::path& lf_airportNamesPath()
{
    static const std::filesystem::path path = std::filesystem::path("input") / "airports_msfs_names.xml";
    return path;
}

// The numbers of one airport element; a missing or malformed number throws the conversion error.
void lf_readAirportEntry(const pugi::xml_node& node, AirportEntry& entry)
{
    entry.alt = static_cast<double>(tvx::stof(node.attribute("alt").as_string("")));
    entry.lat = tvx::stod(node.attribute("lat").as_string(""));
    entry.lon = tvx::stod(node.attribute("lon").as_string(""));
    // A number that is no place on the world ("nan" included) is as malformed as one that is none.
    if (!(std::abs(entry.lat) <= 90.0 && std::abs(entry.lon) <= 180.0))
        throw std::out_of_range(tvx::format("airport {} lies off the world: lat {}, lon {}", entry.code,
                                            node.attribute("lat").as_string(""), node.attribute("lon").as_string("")));
}

void lf_readAirportFile()
{
    const std::string pathText = lf_airportsPath().string();
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(lf_airportsPath().c_str());
    if (!result)
        throw std::runtime_error(pathText + " not loaded " + result.description());

    const pugi::xpath_node root = doc.select_node("/airports");
    if (!root)
        throw std::runtime_error(pathText + " not found");

    for (const pugi::xml_node node : root.node().children("airport")) {
        AirportEntry entry;
        entry.code = node.attribute("code").as_string("");
        lf_readAirportEntry(node, entry);
        entry.iata = node.attribute("iata").as_string("");
        g_airports.push_back(std::move(entry));
    }
}

}  // namespace

std::string AirportEntry::text() const
{
    std::string result = code.empty() ? "?" : code;
    if (!iata.empty())
        result += " (" + iata + ")";
    return result;
}

bool gf_readAirports()
{
    if (s_airportsRead)
        return !g_airports.empty();
    try {
        g_airports.clear();
        g_airports.reserve(kAirportReserve);
        lf_readAirportFile();
        std::stable_sort(g_airports.begin(), g_airports.end(),
                         [](const AirportEntry& a, const AirportEntry& b) { return a.code < b.code; });
        g_airports.shrink_to_fit();
        s_airportsRead = true;
        gf_log("{} airports read from \"{}\"", g_airports.size(), lf_airportsPath().string());
    } catch (const pugi::xpath_exception& e) {
        g_airports.clear();
        throw tvx::UserErrorException(87, e.what());
    } catch (const std::exception& e) {
        g_airports.clear();
        throw tvx::UserErrorException(88, e.what());
    }
    return !g_airports.empty();
}

bool gf_readAirportNames()
{
    pugi::xml_document doc;
    if (doc.load_file(lf_airportNamesPath().c_str())) {
        const pugi::xml_node root = doc.child("AirportNames");
        if (root) {
            for (const pugi::xml_node node : root.children("airport"))
                g_airportNames.try_emplace(node.attribute("ICAO").as_string(""),
                                           node.attribute("name").as_string(""));
        }
    }
    gf_log("{} airport names read from \"{}\"", g_airportNames.size(), lf_airportNamesPath().string());
    return !g_airportNames.empty();
}

std::optional<AirportEntry> gf_findAirport(std::string_view code)
{
    const auto it = std::find_if(g_airports.begin(), g_airports.end(),
                                 [&](const AirportEntry& e) { return e.code == code; });
    if (it == g_airports.end())
        return std::nullopt;
    return *it;
}

bool lf_codeInText(std::string_view text, const AirportEntry& entry)
{
    std::string pattern = "-" + entry.code + "-";
    if (text.find(pattern) != std::string_view::npos)
        return true;
    for (char& c : pattern) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text.find(pattern) != std::string_view::npos;
}

void lf_resetAirportList()
{
    g_airports.clear();
    g_airports.shrink_to_fit();
    s_airportsRead = false;
}
