// Parking-file writers for tests (see apf_files.h).
#include "support/apf_files.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

namespace tvxtest {

namespace {

void lf_setAttributes(pugi::xml_node node, const Attributes& attributes)
{
    for (const auto& [name, value] : attributes)
        node.append_attribute(name.c_str()).set_value(value.c_str());
}

// "N63 59.726" -> 63.995433; "W22 37.478" -> -22.624633.
double lf_groundnetDegrees(const std::string& text)
{
    if (text.size() < 2)
        throw std::runtime_error("bad groundnet position: " + text);
    const char hemisphere = text[0];
    std::istringstream in(text.substr(1));
    double degrees = 0.0;
    double minutes = 0.0;
    in >> degrees >> minutes;
    if (!in)
        throw std::runtime_error("bad groundnet position: " + text);
    const double value = degrees + minutes / 60.0;
    return hemisphere == 'S' || hemisphere == 'W' ? -value : value;
}

}  // namespace

ApfFixture ApfFixture::stock(const std::string& airportName, const std::string& publisher, int altitude)
{
    ApfFixture f;
    f.parameters = {{"airport_name", airportName}, {"publisher", publisher}, {"altitude", std::to_string(altitude)}};
    return f;
}

ApfStandRow& ApfFixture::addStand(const std::string& id, double lat, double lon, double headingDeg, double radiusM)
{
    stands.push_back({{{"id", id},
                       {"latitude", fmt::format("{:.6f}", lat)},
                       {"longitude", fmt::format("{:.6f}", lon)},
                       {"heading", fmt::format("{:.1f}", headingDeg)},
                       {"radius", fmt::format("{:.1f}", radiusM)}},
                      {}});
    return stands.back();
}

std::string ApfFixture::xml() const
{
    pugi::xml_document doc;
    if (withMeta) {
        pugi::xml_node meta = doc.append_child("meta");
        for (const auto& [name, value] : Attributes{{"author", "test"},
                                                    {"version", "1"},
                                                    {"date", "2026-01-01"},
                                                    {"copyright", "test data"},
                                                    {"MSFS", "2020"}})
            lf_setAttributes(meta.append_child("info"), {{"name", name}, {"value", value}});
    }
    pugi::xml_node params = doc.append_child("parameters");
    for (const auto& [name, value] : parameters)
        lf_setAttributes(params.append_child("parameter"), {{"name", name}, {"value", value}});
    if (withParkpositions) {
        pugi::xml_node parkpositions = doc.append_child("parkpositions");
        for (const ApfStandRow& stand : stands) {
            pugi::xml_node parkpos = parkpositions.append_child("parkpos");
            lf_setAttributes(parkpos, stand.attributes);
            for (const Attributes& opt : stand.options)
                lf_setAttributes(parkpos.append_child("opt"), opt);
        }
    }
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

void ApfFixture::write(const std::filesystem::path& file) const
{
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << xml();
}

std::vector<GroundnetStand> readGroundnet(const std::filesystem::path& file)
{
    pugi::xml_document doc;
    if (!doc.load_file(file.c_str()))
        throw std::runtime_error("groundnet not loaded: " + file.string());
    std::vector<GroundnetStand> stands;
    std::map<std::string, int> seen;
    for (const pugi::xml_node parking : doc.child("groundnet").child("parkingList").children("Parking")) {
        GroundnetStand s;
        s.name = std::string(parking.attribute("name").as_string()) + parking.attribute("number").as_string();
        if (seen[s.name]++ > 0)
            s.name += "#" + std::string(parking.attribute("index").as_string());
        s.lat = lf_groundnetDegrees(parking.attribute("lat").as_string());
        s.lon = lf_groundnetDegrees(parking.attribute("lon").as_string());
        s.headingDeg = parking.attribute("heading").as_double();
        s.radiusM = parking.attribute("radius").as_double();
        s.type = parking.attribute("type").as_string();
        stands.push_back(std::move(s));
    }
    return stands;
}

ApfFixture groundnetToApf(const std::vector<GroundnetStand>& stands, const std::string& airportName, int altitude)
{
    ApfFixture f = ApfFixture::stock(airportName, "stock", altitude);
    for (const GroundnetStand& s : stands) {
        ApfStandRow& row = f.addStand(s.name, s.lat, s.lon, s.headingDeg, s.radiusM);
        const bool cargo = s.type.find("cargo") != std::string::npos;
        const bool ramp = s.type == "ga" || s.type.starts_with("mil");
        row.attributes.push_back({"cargo", cargo ? "true" : "false"});
        row.attributes.push_back({"ramp", ramp ? "true" : "false"});
    }
    f.parameters.push_back({"num_parkpos", std::to_string(stands.size())});
    return f;
}

std::filesystem::path groundnetFile(const std::string& code)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        return {};
    const std::filesystem::path file =
        std::filesystem::path(source) / ".." / "shared" / "data" / "flightgear_groundnets" / (code + ".groundnet.xml");
    return std::filesystem::exists(file) ? file : std::filesystem::path();
}

std::string apfParameter(const pugi::xml_document& doc, const char* name)
{
    for (const pugi::xml_node& p : doc.child("parameters").children("parameter"))
        if (std::string(p.attribute("name").as_string()) == name)
            return p.attribute("value").as_string();
    return "<missing>";
}

}  // namespace tvxtest
