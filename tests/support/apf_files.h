// Parking-file writers for tests: airport parking files (meta, parameters, parkpositions) built
// attribute by attribute, texts as written so that a test can put damaged values in; a converter
// from FlightGear ground networks (real stand data) to the program's parking format; and a reader
// of one parameter of a written file.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

namespace tvxtest {

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct ApfStandRow {
    Attributes attributes;            // id, latitude, ... in the order written
    std::vector<Attributes> options;  // one opt element each
};

struct ApfFixture {
    bool withMeta = true;                    // author, version, date, copyright, MSFS
    Attributes parameters;                   // name -> value, in order
    bool withParkpositions = true;
    std::vector<ApfStandRow> stands;

    // A stock-like file with the parameters airport_name, publisher and altitude.
    static ApfFixture stock(const std::string& airportName, const std::string& publisher, int altitude);
    // Adds a full-form stand: id, latitude, longitude, heading (degrees), radius (metres).
    ApfStandRow& addStand(const std::string& id, double lat, double lon, double headingDeg, double radiusM);

    std::string xml() const;
    void write(const std::filesystem::path& file) const;
};

// One stand of a FlightGear ground network (Parking element).
struct GroundnetStand {
    std::string name;  // name + number, made unique with "#index" when repeated
    double lat = 0.0;
    double lon = 0.0;
    double headingDeg = 0.0;
    double radiusM = 0.0;
    std::string type;  // gate, cargo, ga, mil-cargo, mil-fighter
};

// The stands of a ground-network file; "N21 19.725" positions turned into degrees.
std::vector<GroundnetStand> readGroundnet(const std::filesystem::path& file);
// A parking file of those stands (cargo for cargo types, ramp for ga and military).
ApfFixture groundnetToApf(const std::vector<GroundnetStand>& stands, const std::string& airportName, int altitude);
// ../shared/data/flightgear_groundnets/<code>.groundnet.xml from TAVIX_SOURCE_DIR, empty when absent.
std::filesystem::path groundnetFile(const std::string& code);

// The value of a loaded parking file's parameter, "<missing>" when the file has no such parameter.
std::string apfParameter(const pugi::xml_document& doc, const char* name);

}  // namespace tvxtest
