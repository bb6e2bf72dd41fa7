// Fixture builders for the aircraft database (DbFixture) and aircraft.cfg files of AI model
// packages (text in UTF-8, UTF-8 with BOM, UTF-16 LE/BE with BOM), and a package-tree writer.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tvxtest {

struct DbFixture {
    struct Type {
        std::string code;
        double span = 0.0;  // 0 = no span attribute
    };
    struct Reg {
        std::string registration, airline, type, op;
        int cargo = 0;
    };
    struct Group {
        std::string name;
        std::vector<std::string> names;
    };
    struct Publisher {
        std::string name;
        std::vector<std::string> entries;
    };

    std::vector<Type> types;
    std::vector<std::pair<std::string, std::string>> sets;  // set name, blank-separated codes
    std::string regprefixes;
    std::vector<Reg> registrations;
    std::vector<Group> publishers;
    std::string simaddons20;
    std::vector<Publisher> thirdparties20;
    std::vector<Publisher> thirdparties24;

    // B738 large 35.8 m, A388 heavy 79.8 m, C172 light, EC35 rotorcraft; PH-BXA -> KLM/B738,
    // G-EUPA -> BAW/B738 operated by SHT, OO-TNA -> TAY/B738 cargo; publisher group
    // "Some Maker" (somemaker); simaddons20 EHBK; thirdparties20 "Some Maker" with EHAM2.
    static DbFixture standard();

    std::string xml() const;
    // Loads the XML straight into the program's tables; false when the loader refused it.
    bool load() const;
    void write(const std::filesystem::path& file) const;
};

// One [FLTSIM.n] section.
struct CfgLivery {
    std::string title;
    std::string icaoAirline;
    std::string atcAirline;
    std::string atcId;
};

// aircraft.cfg text: [GENERAL] icao_type_designator (left out when empty) and one [FLTSIM.n]
// per livery, values quoted.
std::string aircraftCfgText(const std::string& type, const std::vector<CfgLivery>& liveries);

enum class CfgEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };
// The text as the bytes of a file in the encoding (UTF-16 with its byte-order mark).
std::string encodeCfg(const std::string& utf8, CfgEncoding encoding);
// Writes <root>/<package>/SimObjects/Airplanes/<model>/aircraft.cfg and returns its path.
std::filesystem::path writePackageCfg(const std::filesystem::path& root, const std::string& package,
                                      const std::string& model, const std::string& bytes);

// TAVIX_SOURCE_DIR/../shared/testdata, or empty when absent.
std::filesystem::path sharedTestdata();

}  // namespace tvxtest
