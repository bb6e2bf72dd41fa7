// Airport-list writers for tests: input/airports_msfs.xml and input/airports_msfs_names.xml in a
// working folder, from entries given field by field (texts as written, so a test can put a
// malformed number in), and a working-folder switch for the readers that look in the current one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tvxtest {

struct AirportRow {
    std::string code;
    std::string iata;
    std::string lat;
    std::string lon;
    std::string alt;
    bool withIata = true;  // false: the attribute is left out
};

struct AirportNameRow {
    std::string icao;
    std::string name;
};

// <folder>/input/airports_msfs.xml with root "airports" (or the given root element name).
void writeAirportList(const std::filesystem::path& folder, const std::vector<AirportRow>& rows,
                      const std::string& root = "airports");
// <folder>/input/airports_msfs_names.xml with root "AirportNames" (or the given root).
void writeAirportNames(const std::filesystem::path& folder, const std::vector<AirportNameRow>& rows,
                       const std::string& root = "AirportNames");

// Makes the folder the current working folder for its lifetime.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path m_previous;
};

}  // namespace tvxtest
