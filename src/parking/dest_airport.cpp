// The parking-file probes: closest stand of an airport's parking file and the closest-airport
// choice built on it, and the publisher parameters of a parking file. See dest_airport.h.
//
// Threads: the closest-stand probe on the main loop; the publisher readers in the add-on scan.
#include "parking/dest_airport.h"

#include <exception>

#include <pugixml.hpp>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/units.h"
#include "liveries/aircraft_db.h"
#include "model/airport_list.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"

namespace {

// The one download target of the probe, in the working folder.
const std::filesystem::path lf_probeFile{"airport.xml"};

constexpr double lf_noStand = 100.0;
constexpr double kClosestSearchStartNm = 100.0;
constexpr double kClosestAirportLimitNm = 5.0;

// The probe's answer when the file cannot be used: the download does not stay behind.
double lf_dropProbeFile()
{
    if (std::filesystem::exists(lf_probeFile))
        std::filesystem::remove(lf_probeFile);
    return lf_noStand;
}

}  // namespace

double gf_readDestApfForClosestStand(const AirportEntry& airport, double lat, double lon, std::string& standName)
{
    const std::string text = gf_findApfFile(airport);
    if (text.empty())
        return lf_noStand;

    std::filesystem::path source = gf_apfNativePath(text);
    if (!text.starts_with("airports")) {
        if (!lf_downloadApf(text, lf_probeFile).empty())
            return lf_noStand;
        source = lf_probeFile;
    }

    pugi::xml_document doc;
    if (!doc.load_file(source.c_str()))
        return lf_dropProbeFile();
    const pugi::xml_node parkpositions = doc.child("parkpositions");
    if (!parkpositions)
        return lf_dropProbeFile();

    double best = lf_noStand;
    int damaged = 0;
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        double standLat = 0.0;
        double standLon = 0.0;
        try {
            standLat = gf_xmlAttributeAsDouble(parkpos, "latitude");
            standLon = gf_xmlAttributeAsDouble(parkpos, "longitude");
        } catch (const std::exception&) {
            ++damaged;  // a damaged position must not end the search (or the main loop)
            continue;
        }
        const double distance = gf_distanceNm(lat, lon, standLat, standLon);
        if (distance < best) {
            best = distance;
            standName = parkpos.attribute("id").as_string();
        }
    }
    if (damaged > 0)
        gf_logError("{}: {} stand{} with a malformed position skipped in \"{}\"", "gf_readDestApfForClosestStand",
                    damaged, damaged == 1 ? "" : "s", text);
    return best;
}

std::string gf_readApfPublisher(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str()))
        return {};
    return gf_readStringParameter(doc, "publisher").value_or(std::string());
}

std::string gf_unknownPublisherInfo(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str()))
        return tvx::format("\"{}\" not found", path.string());
    if (gf_readStringParameter(doc, "publisher").value_or(std::string()) != "unknown")
        return {};
    const std::string manufacturer = gf_readStringParameter(doc, "manufacturer").value_or(std::string());
    const std::string creator = gf_readStringParameter(doc, "creator").value_or(std::string());
    if (manufacturer.size() >= 4 || creator.size() >= 4)
        return {};
    return tvx::format("{}={}, {}={}", "manufacturer", manufacturer, "creator", creator);
}

std::optional<AirportEntry> gf_closestAirportByStand(double lat, double lon)
{
    double bestDistance = kClosestSearchStartNm;
    const AirportEntry* best = nullptr;
    const AirportEntry* neighbour = nullptr;
    for (const auto& airport : g_airports) {
        const double d = gf_distanceNm(lat, lon, airport.lat, airport.lon);
        if (d <= kClosestAirportLimitNm && d < bestDistance) {
            if (best)
                neighbour = best;
            best = &airport;
            bestDistance = d;
        }
    }
    if (!best)
        return std::nullopt;
    if (!neighbour)
        return *best;

    gf_log("Airport {} is closest, neighbour is {}", best->code, neighbour->code);
    std::string bestStand;
    const double bestStandNm = gf_readDestApfForClosestStand(*best, lat, lon, bestStand);
    std::string neighbourStand;
    const double neighbourStandNm = gf_readDestApfForClosestStand(*neighbour, lat, lon, neighbourStand);
    if (!(neighbourStandNm < bestStandNm))
        return *best;
    gf_log("Airport {} is closest, but stand {} at neighbouring airport {} is closest at {:.0F} meters ...",
           best->code, neighbourStand, neighbour->code, neighbourStandNm * kMetresPerNm);
    return *neighbour;
}
