// Loading the aircraft database and answering type questions (span, class, validity). The tables
// are written by the start-up thread only, before other threads read them.
#include "liveries/aircraft_db.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "foundation/log.h"
#include "foundation/runtime_texts.h"
#include "liveries/publishers.h"
#include "liveries/regcodes.h"
#include "liveries/string_hash.h"

namespace {

// Set names in the order gf_sizeClassOfType tests them, with the class each gives.
struct TypeSetName {
    const char* name;
    SizeClass sizeClass;
};
constexpr std::array<TypeSetName, 5> kTypeSets{{
    {"large", SizeClass::Large},
    {"heavy", SizeClass::Heavy},
    {"bizjet", SizeClass::Buzjets},
    {"rotorcraft", SizeClass::Rotorcraft},
    {"highperf", SizeClass::HighPerf},
}};

using TypeSet = std::unordered_set<std::string, TvxStringHash, std::equal_to<>>;

struct AircraftDb {
    std::unordered_map<std::string, double, TvxStringHash, std::equal_to<>> spans;  // metres
    TypeSet validTypes;
    std::array<TypeSet, kTypeSets.size()> sets;  // in kTypeSets order
    std::array<double, 6> classAverageNm{};       // half spans
    bool averagesBuilt = false;
    double maxHalfSpanNm = 0.0;
};

AircraftDb g_db;

// An ICAO type designator: 2 to 4 capital letters or digits.
bool lf_validTypeCode(std::string_view code)
{
    if (code.size() < 2 || code.size() > 4)
        return false;
    return std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

void lf_readTypes(const pugi::xml_node& types, std::string_view source)
{
    std::size_t badCodes = 0;
    std::size_t badSpans = 0;
    for (const pugi::xml_node& t : types.children("t")) {
        const std::string code = t.attribute("c").as_string();
        if (!lf_validTypeCode(code)) {
            ++badCodes;
            continue;
        }
        g_db.validTypes.insert(code);
        if (!t.attribute("span"))
            continue;
        try {
            const double span = gf_xmlAttributeAsDouble(t, "span");
            if (span > 0.0 && span < 200.0)
                g_db.spans[code] = span;
            else
                ++badSpans;
        } catch (const std::exception&) {
            ++badSpans;
        }
    }
    if (badCodes > 0 || badSpans > 0)
        gf_logError("aircraft database {}: {} invalid type codes and {} invalid spans skipped",
                    source, badCodes, badSpans);
}

void lf_readTypeSets(const pugi::xml_node& typesets, std::string_view source)
{
    for (const pugi::xml_node& set : typesets.children("set")) {
        const std::string_view name = set.attribute("name").as_string();
        auto it = std::find_if(kTypeSets.begin(), kTypeSets.end(),
                               [&](const TypeSetName& s) { return name == s.name; });
        if (it == kTypeSets.end()) {
            gf_logError("aircraft database {}: unknown type set \"{}\" skipped", source, name);
            continue;
        }
        TypeSet& target = g_db.sets[static_cast<std::size_t>(it - kTypeSets.begin())];
        std::istringstream codes(set.child_value());
        std::string code;
        std::size_t bad = 0;
        while (codes >> code) {
            if (lf_validTypeCode(code))
                target.insert(code);
            else
                ++bad;
        }
        if (bad > 0)
            gf_logError("aircraft database {}: {} invalid type codes in set \"{}\" skipped",
                        source, bad, name);
    }
}

void lf_buildAverages()
{
    std::array<double, 6> sum{};
    std::array<std::size_t, 6> count{};
    double all = 0.0;
    double maxSpan = 0.0;
    for (const auto& [code, span] : g_db.spans) {
        const auto cls = static_cast<std::size_t>(gf_sizeClassOfType(code));
        sum[cls] += span;
        ++count[cls];
        all += span;
        maxSpan = std::max(maxSpan, span);
    }
    g_db.averagesBuilt = !g_db.spans.empty();
    if (!g_db.averagesBuilt)
        return;
    const double allMean = all / static_cast<double>(g_db.spans.size());
    for (std::size_t c = 0; c < sum.size(); ++c) {
        const double meanSpan = count[c] > 0 ? sum[c] / static_cast<double>(count[c]) : allMean;
        g_db.classAverageNm[c] = meanSpan * 0.5 * kNmPerMetre;
    }
    g_db.maxHalfSpanNm = maxSpan * 0.5 * kNmPerMetre;
}

bool lf_loadDocument(const pugi::xml_document& doc, std::string_view source)
{
    gf_clearAircraftDb();
    const pugi::xml_node root = doc.child("aircraftdb");
    if (!root) {
        gf_logError("aircraft database {}: no <aircraftdb> element", source);
        return false;
    }
    lf_readTypes(root.child("types"), source);
    lf_readTypeSets(root.child("typesets"), source);
    gf_setRegPrefixes(root.child_value("regprefixes"));
    for (const pugi::xml_node& regs : root.children("registrations"))
        gf_readRegistrations(regs, source);
    gf_readPublisherSections(root, source);
    lf_buildAverages();
    gf_log("Aircraft database {}: {} types, {} with wingspan, {} registrations, {} simaddon "
           "airports, {}/{} thirdparty publishers",
           source, g_db.validTypes.size(), g_db.spans.size(), gf_regcodeCount(),
           g_simaddonAirports.size(), g_thirdparties2020.size(), g_thirdparties2024.size());
    return true;
}

}  // namespace

bool gf_loadAircraftDb(const std::filesystem::path& file)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(file.c_str());
    if (!result) {
        gf_clearAircraftDb();
        gf_logError("aircraft database {} not loaded: {} at offset {}", file.string(),
                    result.description(), result.offset);
        return false;
    }
    return lf_loadDocument(doc, file.filename().string());
}

bool gf_loadAircraftDbText(std::string_view xml, std::string_view sourceName)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size());
    if (!result) {
        gf_clearAircraftDb();
        gf_logError("aircraft database {} not loaded: {} at offset {}", sourceName,
                    result.description(), result.offset);
        return false;
    }
    return lf_loadDocument(doc, sourceName);
}

void gf_clearAircraftDb()
{
    g_db = AircraftDb{};
    gf_clearRegcodes();
    gf_clearPublishers();
}

double gf_wingspan(std::string_view type)
{
    if (auto it = g_db.spans.find(type); it != g_db.spans.end())
        return it->second * 0.5 * kNmPerMetre;
    if (!g_db.averagesBuilt)
        return 0.0;
    return g_db.classAverageNm[static_cast<std::size_t>(gf_sizeClassOfType(type))];
}

AcData gf_makeAcData(const FlightRecord& head)
{
    const double size = gf_wingspan(head.acType);
    return AcData(head, gf_sizeClassOfType(head.acType), size);
}

SizeClass gf_sizeClassOfType(std::string_view type)
{
    for (std::size_t i = 0; i < kTypeSets.size(); ++i)
        if (g_db.sets[i].find(type) != g_db.sets[i].end())
            return kTypeSets[i].sizeClass;
    return SizeClass::Light;
}

bool gf_isKnownType(std::string_view type)
{
    return !type.empty() && g_db.validTypes.find(type) != g_db.validTypes.end();
}

double gf_classAverageSpan(SizeClass sizeClass)
{
    const auto cls = static_cast<std::size_t>(sizeClass);
    if (!g_db.averagesBuilt || cls >= g_db.classAverageNm.size())
        return 0.0;
    return g_db.classAverageNm[cls];
}

double gf_maxHalfSpan()
{
    return g_db.maxHalfSpanNm;
}

double gf_xmlAttributeAsDouble(const pugi::xml_node& node, const char* name)
{
    if (!node)
        return 0.0;
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr)
        return 0.0;
    return tvx::stod(attr.as_string());
}
