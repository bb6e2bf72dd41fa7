// Airport-list writers for tests.
#include "support/parking_airports.h"

#include <pugixml.hpp>

#include <stdexcept>

namespace tvxtest {

namespace {

void lf_save(const pugi::xml_document& doc, const std::filesystem::path& file)
{
    std::filesystem::create_directories(file.parent_path());
    if (!doc.save_file(file.c_str()))
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

void writeAirportList(const std::filesystem::path& folder, const std::vector<AirportRow>& rows,
                      const std::string& root)
{
    pugi::xml_document doc;
    pugi::xml_node top = doc.append_child(root.c_str());
    for (const auto& row : rows) {
        pugi::xml_node node = top.append_child("airport");
        node.append_attribute("code") = row.code.c_str();
        if (row.withIata)
            node.append_attribute("iata") = row.iata.c_str();
        node.append_attribute("lat") = row.lat.c_str();
        node.append_attribute("lon") = row.lon.c_str();
        node.append_attribute("alt") = row.alt.c_str();
    }
    lf_save(doc, folder / "input" / "airports_msfs.xml");
}

void writeAirportNames(const std::filesystem::path& folder, const std::vector<AirportNameRow>& rows,
                       const std::string& root)
{
    pugi::xml_document doc;
    pugi::xml_node top = doc.append_child(root.c_str());
    for (const auto& row : rows) {
        pugi::xml_node node = top.append_child("airport");
        node.append_attribute("name") = row.name.c_str();
        node.append_attribute("ICAO") = row.icao.c_str();
    }
    lf_save(doc, folder / "input" / "airports_msfs_names.xml");
}

WorkingFolder::WorkingFolder(const std::filesystem::path& folder) : m_previous(std::filesystem::current_path())
{
    std::filesystem::current_path(folder);
}

WorkingFolder::~WorkingFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}

}  // namespace tvxtest
