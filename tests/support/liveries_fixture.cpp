// Builders of the aircraft-database and aircraft.cfg fixtures; test threads only.
#include "support/liveries_fixture.h"

#include <cstdlib>

#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "support/temp_folder.h"

namespace tvxtest {

DbFixture DbFixture::standard()
{
    DbFixture db;
    db.types = {{"B738", 35.8}, {"A388", 79.8}, {"C172", 11.0}, {"EC35", 10.2}};
    db.sets = {{"large", "B738"}, {"heavy", "A388"}, {"rotorcraft", "EC35"}};
    db.regprefixes = "PH D G N OO F EC";
    db.registrations = {{"PH-BXA", "KLM", "B738", "", 0},
                        {"G-EUPA", "BAW", "B738", "SHT", 0},
                        {"OO-TNA", "TAY", "B738", "", 1}};
    db.publishers = {{"Some Maker", {"somemaker"}}};
    db.simaddons20 = "EHBK";
    db.thirdparties20 = {{"Some Maker", {"EHAM2"}}};
    return db;
}

std::string DbFixture::xml() const
{
    std::string x = "<?xml version=\"1.0\"?>\n<aircraftdb>\n  <types>";
    for (const Type& t : types) {
        x += "<t c=\"" + t.code + "\"";
        if (t.span > 0.0)
            x += " span=\"" + std::to_string(t.span) + "\"";
        x += "/>";
    }
    x += "</types>\n  <typesets>";
    for (const auto& [name, codes] : sets)
        x += "<set name=\"" + name + "\">" + codes + "</set>";
    x += "</typesets>\n  <regprefixes>" + regprefixes + "</regprefixes>\n  <registrations>";
    for (const Reg& r : registrations)
        x += "<r k=\"" + gf_scrambleText(r.registration) + "\" a=\"" + gf_scrambleText(r.airline) +
             "\" t=\"" + r.type + "\" o=\"" + gf_scrambleText(r.op) + "\" c=\"" +
             std::to_string(r.cargo) + "\"/>";
    x += "</registrations>\n  <publishers>";
    for (const Group& g : publishers) {
        x += "<group name=\"" + g.name + "\">";
        for (const auto& n : g.names)
            x += "<n>" + n + "</n>";
        x += "</group>";
    }
    x += "</publishers>\n  <simaddons20>" + simaddons20 + "</simaddons20>\n";
    for (const auto& [section, list] : {std::pair{"thirdparties20", &thirdparties20},
                                        std::pair{"thirdparties24", &thirdparties24}}) {
        x += std::string("  <") + section + ">";
        for (const Publisher& p : *list) {
            x += "<publisher name=\"" + p.name + "\">";
            for (const auto& e : p.entries)
                x += "<e>" + e + "</e>";
            x += "</publisher>";
        }
        x += std::string("</") + section + ">\n";
    }
    x += "</aircraftdb>\n";
    return x;
}

bool DbFixture::load() const
{
    return gf_loadAircraftDbText(xml(), "aircraftdb.xml");
}

void DbFixture::write(const std::filesystem::path& file) const
{
    writeFile(file, xml());
}

std::string aircraftCfgText(const std::string& type, const std::vector<CfgLivery>& liveries)
{
    std::string text = "[VERSION]\nmajor = 1\nminor = 0\n\n";
    if (!type.empty())
        text += "[GENERAL]\nicao_type_designator=\"" + type + "\"\n\n";
    for (std::size_t i = 0; i < liveries.size(); ++i) {
        const CfgLivery& l = liveries[i];
        text += "[FLTSIM." + std::to_string(i) + "]\ntitle=\"" + l.title + "\"\n";
        if (!l.atcAirline.empty())
            text += "atc_airline=\"" + l.atcAirline + "\"\n";
        if (!l.icaoAirline.empty())
            text += "icao_airline=\"" + l.icaoAirline + "\"\n";
        if (!l.atcId.empty())
            text += "atc_id=\"" + l.atcId + "\"\n";
        text += "\n";
    }
    return text;
}

std::string encodeCfg(const std::string& utf8, CfgEncoding encoding)
{
    switch (encoding) {
    case CfgEncoding::Utf8:
        return utf8;
    case CfgEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + utf8;
    case CfgEncoding::Utf16Le:
    case CfgEncoding::Utf16Be:
        break;
    }
    // Decode UTF-8 to code points, then write UTF-16 units (surrogate pairs above U+FFFF).
    std::u32string points;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        points.push_back(cp);
        i += n + 1;
    }
    const bool le = encoding == CfgEncoding::Utf16Le;
    std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
    const auto put = [&](char16_t u) {
        const char lo = static_cast<char>(u & 0xFF);
        const char hi = static_cast<char>(u >> 8);
        out.push_back(le ? lo : hi);
        out.push_back(le ? hi : lo);
    };
    for (char32_t cp : points) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::filesystem::path writePackageCfg(const std::filesystem::path& root, const std::string& package,
                                      const std::string& model, const std::string& bytes)
{
    const auto folder = root / package / "SimObjects" / "Airplanes" / model;
    std::filesystem::create_directories(folder);
    const auto file = folder / "aircraft.cfg";
    writeFile(file, bytes);
    return file;
}

std::filesystem::path sharedTestdata()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        return {};
    const auto path = std::filesystem::path(source) / ".." / "shared" / "testdata";
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) ? path : std::filesystem::path{};
}

}  // namespace tvxtest
