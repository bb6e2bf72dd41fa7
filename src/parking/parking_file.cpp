// Airport parking files: writing a whole file, its parameters, stands and options, and reading one
// stand and the typed header parameters. See parking_file.h for the layout.
//
// Threads: the caller's (main loop for the park airport's files, scan workers for scanned files).
#include "parking/parking_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/runtime_texts.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "liveries/aircraft_db.h"
#include "parking/registration_lookup.h"

std::atomic<bool> g_handmadeOverruled{false};

namespace {


// The parameter element of the key under the top-level parameters element, or a null node: the
// first in document order whose (first) name attribute is the key, as the path
// /parameters/parameter[@name='key'] selects it, walked without compiling the path.
pugi::xml_node lf_findParameter(const pugi::xml_document& doc, std::string_view name)
{
    for (const pugi::xml_node parameters : doc.children("parameters"))
        for (const pugi::xml_node parameter : parameters.children("parameter"))
            if (const pugi::xml_attribute key = parameter.attribute("name"); key && key.value() == name)
                return parameter;
    return {};
}

bool lf_addBool(pugi::xml_document& doc, std::string_view key, bool value)
{
    return BoolParameter::setNode(doc, key, value);
}

// The full form of a stand: position, heading, radius and its kind, of a ParkPos or a ScannedStand.
struct StandForm {
    double lat;      // degrees
    double lon;      // degrees
    double heading;  // radians
    double radius;   // nautical miles
    bool cargo;
    bool ramp;
    bool heli;
};
StandForm lf_standForm(const ParkPos& s)
{
    return {s.lat, s.lon, s.heading, s.radius, s.cargo, s.ramp, s.heli};
}
StandForm lf_standForm(const ScannedStand& s)
{
    return {s.lat(), s.lon(), s.heading(), s.radius(), s.cargo(), s.ramp(), s.heli()};
}
void lf_writeFullForm(pugi::xml_node parkpos, const StandForm& stand, bool manual)
{
    parkpos.append_attribute("latitude").set_value(tvx::format("{:.6f}", stand.lat).c_str());
    parkpos.append_attribute("longitude").set_value(tvx::format("{:.6f}", stand.lon).c_str());
    parkpos.append_attribute("heading").set_value(tvx::format("{:.1F}", stand.heading * kRadToDeg).c_str());
    parkpos.append_attribute("radius").set_value(tvx::format("{:.1F}", stand.radius * kMetresPerNm).c_str());
    if (stand.heli)
        parkpos.append_attribute("heli").set_value("true");
    else
        parkpos.append_attribute("cargo").set_value(stand.cargo ? "true" : "false");
    parkpos.append_attribute("ramp").set_value(stand.ramp ? "true" : "false");
    if (manual)
        parkpos.append_attribute("manual").set_value("true");
}

// The meta and parameters elements and an empty parkpositions element; a null node when the
// document refuses one of them.
pugi::xml_node lf_startApf(pugi::xml_document& doc, const ApfFileHeader& header, std::size_t standCount,
                           std::uint32_t fromScan)
{
    if (!gf_addMetaData(doc) || !lf_writeApfParameters(doc, header, standCount, fromScan))
        return {};
    return doc.append_child("parkpositions");
}

// Replaced whole (a temporary file renamed over it): a full disk leaves the old file as it was.
bool lf_saveApf(const pugi::xml_document& doc, const std::filesystem::path& path, std::string* problem = nullptr)
{
    std::ostringstream text;
    doc.save(text);
    return gf_replaceFile(path, text.str(), problem);
}

}  // namespace

// ---- Writing --------------------------------------------------------------------------------

bool gf_addUintParameter(pugi::xml_document& doc, std::string_view name, std::uint32_t value)
{
    return StringParameter::addNode(doc, name, tvx::format("{}", value));
}

bool lf_writeApfParameters(pugi::xml_document& doc, const ApfFileHeader& record, std::size_t standCount,
                           std::uint32_t fromScan)
{
    const bool handmade = g_handmadeOverruled.load();
    bool ok = StringParameter::addNode(doc, "airport_name", record.airportName);
    ok = ok && StringParameter::addNode(doc, "publisher", record.publisher);
    if (ok && handmade)
        ok = lf_addBool(doc, "handmade", true);
    if (ok && (handmade || fromScan == 1))
        ok = IntParameter::addNode(doc, "altitude", record.altitude);
    ok = ok && gf_addUintParameter(doc, "num_parkpos", static_cast<std::uint32_t>(standCount));
    if (ok && handmade) {
        ok = IntParameter::addNode(doc, "Qf_real", record.qfReal);
        ok = ok && IntParameter::addNode(doc, "Qf_soft", record.qfSoft);
    }
    if (ok && record.publisher == "unknown") {
        ok = StringParameter::addNode(doc, "BGLpath", record.bglPath);
        ok = ok && StringParameter::addNode(doc, "manufacturer", record.manufacturer);
        ok = ok && StringParameter::addNode(doc, "creator", record.creator);
    }
    if (!ok || fromScan == 1)
        return ok;

    // The parking settings in force, so that the airport's next visit starts with them.
    ok = IntParameter::addNode(doc, g_optLateralRange.key(), g_optLateralRange.value());
    ok = ok && lf_addBool(doc, g_optAutoRange.key(), g_optAutoRange.value());
    ok = ok && lf_addBool(doc, g_optWeek.key(), g_optWeek.value());
    ok = ok && lf_addBool(doc, g_optParkFake.key(), g_optParkFake.value());
    ok = ok && lf_addBool(doc, g_optParkSoft.key(), g_optParkSoft.value());
    ok = ok && IntParameter::addNode(doc, g_optParkingPercentage.key(), g_optParkingPercentage.value());
    ok = ok && lf_addBool(doc, g_optInitialLoadOnly.key(), g_optInitialLoadOnly.value());
    ok = ok && IntParameter::addNode(doc, g_optMaxFit.key(), g_optMaxFit.value());
    ok = ok && lf_addBool(doc, g_optRtParktrafficOnly.key(), g_optRtParktrafficOnly.value());
    if (ok && g_optMaxLive.value() >= 0)
        ok = IntParameter::addNode(doc, g_optMaxLive.key(), g_optMaxLive.value());
    ok = ok && lf_addBool(doc, g_optLearnSoft.key(), g_optLearnSoft.value());
    return ok;
}

void lf_writeOpt(pugi::xml_node parkpos, const ParkPosOption& option)
{
    if (option.number == 0)
        return;
    pugi::xml_node opt = parkpos.append_child("opt");
    opt.append_attribute("reg").set_value(option.registration.c_str());
    // A registration the database knows gives airline and type on reading; only others carry them.
    const bool known = !option.registration.empty() && gf_registrationIdentity(option.registration).has_value();
    if (!known) {
        opt.append_attribute("airl").set_value(option.airline.c_str());
        opt.append_attribute("type").set_value(option.type.c_str());
    }
    if (option.real == 0)
        opt.append_attribute("soft").set_value("true");
    opt.append_attribute("day").set_value(option.weekday);
    opt.append_attribute("hh").set_value(lf_bitset2hours(option.slots).c_str());
    std::string cs = option.callsign;
    if (!option.callsign2.empty())
        cs += ":" + option.callsign2;
    if (!cs.empty())
        opt.append_attribute("cs").set_value(cs.c_str());
}

void lf_writeParkPos(pugi::xml_node parkpositions, const ParkPos& stand, std::uint32_t fromScan)
{
    pugi::xml_node parkpos = parkpositions.append_child("parkpos");
    parkpos.append_attribute("id").set_value(stand.name.c_str());
    if (fromScan == 1) {
        lf_writeFullForm(parkpos, lf_standForm(stand), stand.manual);
        return;
    }
    if (stand.radiusChange || stand.cargoChange) {
        if (stand.manual) {
            lf_writeFullForm(parkpos, lf_standForm(stand), stand.manual);
        } else {
            if (stand.radiusChange) {
                parkpos.append_attribute("radius_change").set_value("true");
                parkpos.append_attribute("radius").set_value(
                    tvx::format("{:.1F}", stand.radius * kMetresPerNm).c_str());
            }
            if (stand.cargoChange) {
                parkpos.append_attribute("cargo_change").set_value("true");
                parkpos.append_attribute("cargo").set_value(stand.cargo ? "true" : "false");
            }
        }
    } else if (stand.manual || g_handmadeOverruled.load()) {
        lf_writeFullForm(parkpos, lf_standForm(stand), stand.manual);
    }
    for (const ParkPosOption& option : stand.options)
        lf_writeOpt(parkpos, option);
}

bool gf_writeApf(const ApfRecord& record, const std::filesystem::path& path, std::uint32_t fromScan,
                 std::string* problem)
{
    pugi::xml_document doc;
    pugi::xml_node parkpositions = lf_startApf(doc, record, record.stands.size(), fromScan);
    if (!parkpositions)
        return false;
    for (const ParkPos& stand : record.stands)
        lf_writeParkPos(parkpositions, stand, fromScan);
    return lf_saveApf(doc, path, problem);
}

namespace {

// True when pugixml writes the text into an attribute as it stands (printable ASCII, nothing it
// escapes).
bool lf_plainAttributeText(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    });
}

// The value in fixed notation with the given decimals, as fmt's "{:.Nf}" writes it (to nearest,
// ties to even, the sign of a negative zero kept). A position or radius is scaled to a whole
// number where the scaling cannot change the rounding (the product lies more than 1e-6 from a
// half, far beyond its rounding error); any other value goes to to_chars, which rounds as fmt
// does, or to fmt itself when not finite ("F" writes it in capitals).
void lf_appendFixed(std::string& text, double value, int decimals, bool capitals)
{
    const double scale = decimals == 6 ? 1e6 : 10.0;
    const double scaled = std::abs(value) * scale;
    if (scaled < 1e9) {
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::abs(fraction - 0.5) > 1e-6) {
            auto n = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
            char digits[24];
            char* end = digits + sizeof digits;
            char* p = end;
            for (int d = 0; d < decimals; ++d, n /= 10)
                *--p = static_cast<char>('0' + n % 10);
            *--p = '.';
            do {
                *--p = static_cast<char>('0' + n % 10);
                n /= 10;
            } while (n != 0);
            if (std::signbit(value))
                *--p = '-';
            text.append(p, end);
            return;
        }
    }
    if (std::isfinite(value) && std::abs(value) < 1e15) {
        char digits[40];
        const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
        if (ec == std::errc()) {
            text.append(digits, end);
            return;
        }
    }
    text += capitals ? tvx::format("{:.{}F}", value, decimals) : tvx::format("{:.{}f}", value, decimals);
}

// The scanned stands' lines as the document's save writes them, appended to the text: one
// "\t<parkpos ... />" line each, in lf_writeFullForm's attribute order and number forms.
void lf_appendScannedStands(std::string& text, std::span<const ScannedStand> stands)
{
    text.reserve(text.size() + stands.size() * 128 + 32);
    for (const ScannedStand& scanned : stands) {
        const StandForm stand = lf_standForm(scanned);
        text += "\t<parkpos id=\"";
        text += scanned.name.view();
        text += "\" latitude=\"";
        lf_appendFixed(text, stand.lat, 6, false);
        text += "\" longitude=\"";
        lf_appendFixed(text, stand.lon, 6, false);
        text += "\" heading=\"";
        lf_appendFixed(text, stand.heading * kRadToDeg, 1, true);
        text += "\" radius=\"";
        lf_appendFixed(text, stand.radius * kMetresPerNm, 1, true);
        text += stand.heli ? "\" heli=\"true\"" : stand.cargo ? "\" cargo=\"true\"" : "\" cargo=\"false\"";
        text += stand.ramp ? " ramp=\"true\" />\n" : " ramp=\"false\" />\n";
    }
}

}  // namespace

bool gf_writeScannedApf(const ApfFileHeader& header, std::span<const ScannedStand> stands,
                        const std::filesystem::path& path)
{
    pugi::xml_document doc;
    pugi::xml_node parkpositions = lf_startApf(doc, header, stands.size(), 1);
    if (!parkpositions)
        return false;
    // Thousands of stands: the document holds the head alone and the stands' lines are written
    // straight after it, the same bytes as the document would save (names from the decoder's
    // tables need no escaping; any other name takes the document's way).
    constexpr std::string_view kEmptyList = "<parkpositions />\n";
    if (!stands.empty() && std::all_of(stands.begin(), stands.end(), [](const ScannedStand& s) {
            return lf_plainAttributeText(s.name.view());
        })) {
        std::ostringstream head;
        doc.save(head);
        std::string text = std::move(head).str();
        if (text.ends_with(kEmptyList)) {
            text.resize(text.size() - kEmptyList.size());
            text += "<parkpositions>\n";
            lf_appendScannedStands(text, stands);
            text += "</parkpositions>\n";
            return gf_replaceFile(path, text);
        }
    }
    for (const ScannedStand& stand : stands) {
        pugi::xml_node parkpos = parkpositions.append_child("parkpos");
        parkpos.append_attribute("id").set_value(stand.name.c_str());
        lf_writeFullForm(parkpos, lf_standForm(stand), false);
    }
    return lf_saveApf(doc, path);
}

// ---- Reading --------------------------------------------------------------------------------

AirlineType lf_readAirlType(const pugi::xml_node& opt)
{
    return {opt.attribute("airl").as_string(), opt.attribute("type").as_string()};
}

namespace {

// Names of the attributes an element's reading uses, indexed by first letter: for each letter the
// set (bits) of the names that begin with it.
template <std::size_t N>
struct AttributeNames {
    static_assert(N <= 8);
    const char* const (&names)[N];
    std::array<std::uint8_t, 128> byFirst{};

    constexpr explicit AttributeNames(const char* const (&n)[N]) : names(n)
    {
        for (std::size_t k = 0; k < N; ++k)
            byFirst[static_cast<unsigned char>(n[k][0]) & 0x7F] |= static_cast<std::uint8_t>(1u << k);
    }
};

// Finds the named attributes of an element in one pass over its attributes; the first of a
// repeated name counts, as a look-up by name would give. names[k] fills found[k].
template <std::size_t N>
void lf_findAttributes(const pugi::xml_node& node, const AttributeNames<N>& names, pugi::xml_attribute (&found)[N])
{
    unsigned seen = 0;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        const auto first = static_cast<unsigned char>(name[0]);
        unsigned candidates = first < 128 ? names.byFirst[first] & ~seen : 0u;
        while (candidates != 0) {
            const auto k = static_cast<std::size_t>(std::countr_zero(candidates));
            candidates &= candidates - 1;
            const char* want = names.names[k];
            std::size_t c = 1;
            while (name[c] != '\0' && name[c] == want[c])
                ++c;
            if (name[c] == want[c]) {
                found[k] = a;
                seen |= 1u << k;
                break;
            }
        }
    }
}

// The attributes of an opt element that reading uses.
struct OptAttributes {
    enum { kCs, kReg, kAirl, kType, kHh, kDay, kSoft, kCount };
    static constexpr const char* kNames[kCount] = {"cs", "reg", "airl", "type", "hh", "day", "soft"};
    pugi::xml_attribute at[kCount];

    static constexpr AttributeNames<kCount> kTable{kNames};
    explicit OptAttributes(const pugi::xml_node& opt) { lf_findAttributes(opt, kTable, at); }
};

// Callsigns and, unless the registration is known to the database, airline and type, written
// straight into the record's fields.
void lf_readOptIdentity(const OptAttributes& attributes, const std::string& registration, std::string& callsign,
                        std::string& callsign2, std::string& airline, std::string& type)
{
    const std::string_view cs = attributes.at[OptAttributes::kCs].as_string();
    const std::size_t colon = cs.find(':');
    callsign = cs.substr(0, colon);
    // Only "A:B" carries a second callsign; "A:B:C" is damaged and keeps the first part alone.
    if (colon != std::string_view::npos && cs.find(':', colon + 1) == std::string_view::npos)
        callsign2 = cs.substr(colon + 1);

    std::optional<RegistrationIdentity> known;
    if (!registration.empty())
        known = gf_registrationIdentity(registration);
    if (known) {
        airline = std::move(known->airline);
        type = std::move(known->type);
    } else {
        airline = attributes.at[OptAttributes::kAirl].as_string();
        type = attributes.at[OptAttributes::kType].as_string();
    }
}

// pugixml's bool rule: true when the text begins with 1, t, T, y or Y.
bool lf_xmlBool(const char* text)
{
    const char c = text[0];
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

// pugixml's as_uint, read straight for the writer's plain decimals of up to nine digits.
std::uint32_t lf_xmlUint(const pugi::xml_attribute& attribute, const char* text)
{
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; text[digits] >= '0' && text[digits] <= '9'; ++digits)
        value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
    if (text[digits] == '\0' && digits > 0 && digits <= 9)
        return value;
    return attribute.as_uint();
}

// The writer's hh ("5,8,11,14": slots of one or two digits below 48 between commas) read where the
// document holds it; any other text goes to lf_hours2bitset, which reads it the same way or logs it.
SlotSet lf_readHours(const char* text)
{
    std::uint64_t bits = 0;
    unsigned value = 0, digits = 0;
    const char* p = text;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            if (++digits > 2)
                break;
            value = value * 10 + static_cast<unsigned>(c - '0');
        } else if ((c == ',' || c == '\0') && value < 48) {
            if (c == ',' && digits == 0)
                break;
            if (digits > 0)
                bits |= std::uint64_t{1} << value;
            if (c == '\0')
                return SlotSet(bits);
            value = digits = 0;
        } else {
            break;
        }
    }
    return lf_hours2bitset(text);
}

// An option's fields as the document holds them, made into the option where the vector places it
// (its conversion's result is the element itself: no temporary option moved in, no field assigned
// twice; a parenthesised aggregate initialisation would do the same but is not in every compiler).
struct OptionInPlace {
    std::string_view airline, type, registration, callsign, callsign2;
    SlotSet slots;
    std::uint32_t number, weekday, source, real;
    operator ParkPosOption() const
    {
        return ParkPosOption{std::string(airline), std::string(type), std::string(registration),
                             std::string(callsign), std::string(callsign2), slots, number, weekday, source, real};
    }
};

// One opt element, its attributes walked once in document order (the first of a repeated name
// counts, as a look-up by name would give), the texts taken where the document holds them.
// Appended to the options in place, every field written once.
void lf_readOpt(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t source,
                std::vector<ParkPosOption>& options)
{
    enum : unsigned { kCs = 1, kReg = 2, kAirl = 4, kType = 8, kHh = 16, kDay = 32, kSoft = 64 };
    std::string_view cs, reg, airl, type;
    const char* hh = "";
    std::uint32_t weekday = 0;
    bool soft = false;
    unsigned seen = 0;
    const auto take = [&seen](unsigned bit) {
        const bool first = (seen & bit) == 0;
        seen |= bit;
        return first;
    };
    for (pugi::xml_attribute a = opt.first_attribute(); a; a = a.next_attribute()) {
        const char* n = a.name();
        switch (n[0]) {
        case 'c':
            if (n[1] == 's' && n[2] == '\0' && take(kCs))
                cs = a.value();
            break;
        case 'r':
            if (n[1] == 'e' && n[2] == 'g' && n[3] == '\0' && take(kReg))
                reg = a.value();
            break;
        case 'a':
            if (n[1] == 'i' && n[2] == 'r' && n[3] == 'l' && n[4] == '\0' && take(kAirl))
                airl = a.value();
            break;
        case 't':
            if (n[1] == 'y' && n[2] == 'p' && n[3] == 'e' && n[4] == '\0' && take(kType))
                type = a.value();
            break;
        case 'h':
            if (n[1] == 'h' && n[2] == '\0' && take(kHh))
                hh = a.value();
            break;
        case 'd':
            if (n[1] == 'a' && n[2] == 'y' && n[3] == '\0' && take(kDay))
                weekday = lf_xmlUint(a, a.value());
            break;
        case 's':
            if (n[1] == 'o' && n[2] == 'f' && n[3] == 't' && n[4] == '\0' && take(kSoft))
                soft = lf_xmlBool(a.value());
            break;
        default:
            break;
        }
    }

    const std::size_t colon = cs.find(':');
    // Only "A:B" carries a second callsign; "A:B:C" is damaged and keeps the first part alone.
    const bool second = colon != std::string_view::npos && cs.find(':', colon + 1) == std::string_view::npos;
    std::optional<RegistrationIdentity> known;
    if (!reg.empty())
        known = gf_registrationIdentity(std::string(reg));
    const std::string_view callsign = cs.substr(0, colon);
    const std::string_view callsign2 = second ? cs.substr(colon + 1) : std::string_view();
    const SlotSet slots = lf_readHours(hh);
    const std::uint32_t real = soft ? 0 : 1;
    if (known)
        options.emplace_back(OptionInPlace{known->airline, known->type, reg, callsign, callsign2, slots, number,
                                           weekday, source, real});
    else
        options.emplace_back(OptionInPlace{airl, type, reg, callsign, callsign2, slots, number, weekday, source,
                                           real});}

// The parkpos attributes reading uses.
struct ParkPosAttributes {
    enum { kLatitude, kLongitude, kRadius, kHeading, kHeli, kRamp, kCargo, kCount };
    static constexpr const char* kNames[kCount] = {"latitude", "longitude", "radius", "heading",
                                                   "heli",     "ramp",      "cargo"};
    pugi::xml_attribute at[kCount];

    static constexpr AttributeNames<kCount> kTable{kNames};
    explicit ParkPosAttributes(const pugi::xml_node& parkpos) { lf_findAttributes(parkpos, kTable, at); }
};

// As gf_xmlAttributeAsDouble: 0 when absent, the number of its text otherwise (throws when none).
// The writer's plain decimals ("-22.605600") are read without the general reading; both round
// correctly, so the value is the same.
// The writer's plain decimal read straight; false for any other text. Up to 15 digits make a
// whole number that a double holds exactly, and a power of ten up to 1e22 is exact too: their
// quotient, rounded once by the division, is the correctly rounded value (what from_chars gives).
bool lf_plainDouble(const char* text, double& value)
{
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = *text == '-';
    const char* p = text + (negative ? 1 : 0);
    const char* digits = p;
    std::uint64_t whole = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
    std::size_t count = static_cast<std::size_t>(p - digits);
    bool plain = count != 0;
    std::size_t fractionDigits = 0;
    if (plain && *p == '.') {
        const char* fraction = ++p;
        for (; *p >= '0' && *p <= '9'; ++p)
            whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
        fractionDigits = static_cast<std::size_t>(p - fraction);
        plain = fractionDigits != 0;
        count += fractionDigits;
    }
    if (!plain || *p != '\0')
        return false;
    if (count <= 15) {
        const double quotient = static_cast<double>(whole) / kPowers[fractionDigits];
        value = negative ? -quotient : quotient;
        return true;
    }
    if (p - text <= 32) {
        const auto [end, ec] = std::from_chars(text, p, value);
        return ec == std::errc() && end == p;
    }
    return false;
}

double lf_asDouble(const pugi::xml_attribute& attribute)
{
    if (!attribute)
        return 0.0;
    const char* text = attribute.as_string();
    double value = 0.0;
    return lf_plainDouble(text, value) ? value : tvx::stod(text);
}

// As pugixml's as_double (0 when absent); a plain decimal, which both read correctly rounded,
// without it.
double lf_asXmlDouble(const pugi::xml_attribute& attribute)
{
    if (!attribute)
        return 0.0;
    double value = 0.0;
    return lf_plainDouble(attribute.as_string(), value) ? value : attribute.as_double();
}

}  // namespace

OptIdentity lf_readOptIdentity(const pugi::xml_node& opt)
{
    const OptAttributes attributes(opt);
    OptIdentity identity;
    lf_readOptIdentity(attributes, attributes.at[OptAttributes::kReg].as_string(), identity.callsign,
                       identity.callsign2, identity.airline, identity.type);
    return identity;
}

ParkPosOption gf_readOpt(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t source)
{
    std::vector<ParkPosOption> one;
    lf_readOpt(opt, number, source, one);
    return std::move(one.front());
}

void gf_readParkPos(const pugi::xml_node& parkpos, std::string name, std::uint32_t source)
{
    using A = ParkPosAttributes;
    const A attributes(parkpos);
    const double lat = lf_asDouble(attributes.at[A::kLatitude]);
    const double lon = lf_asDouble(attributes.at[A::kLongitude]);
    const double radiusMetres = lf_asDouble(attributes.at[A::kRadius]);
    const double headingDeg = lf_asXmlDouble(attributes.at[A::kHeading]);
    // A stand that is no place on the world ("nan" included) is refused like a number that is none.
    if (!(std::abs(lat) <= 90.0 && std::abs(lon) <= 180.0 && radiusMetres >= 0.0 && std::isfinite(radiusMetres)
          && std::isfinite(headingDeg)))
        throw std::invalid_argument(tvx::format("parking position {} lies off the world: latitude {}, longitude {}, "
                                                "heading {}, radius {}",
                                                name, attributes.at[A::kLatitude].as_string(),
                                                attributes.at[A::kLongitude].as_string(),
                                                attributes.at[A::kHeading].as_string(),
                                                attributes.at[A::kRadius].as_string()));

    // The opt children, as children("opt") gives them, gathered first for one allocation.
    const auto isOpt = [](const pugi::xml_node& node) {
        const char* n = node.name();
        return n[0] == 'o' && n[1] == 'p' && n[2] == 't' && n[3] == '\0';
    };
    thread_local std::vector<pugi::xml_node> opts;
    opts.clear();
    for (pugi::xml_node child = parkpos.first_child(); child; child = child.next_sibling())
        if (isOpt(child))
            opts.push_back(child);
    std::vector<ParkPosOption> options;
    options.reserve(opts.size());
    std::uint32_t number = 0;
    for (const pugi::xml_node& opt : opts)
        lf_readOpt(opt, ++number, source, options);

    const bool heli = attributes.at[A::kHeli].as_bool();
    const bool ramp = attributes.at[A::kRamp].as_bool();
    const bool cargo = attributes.at[A::kCargo].as_bool();
    const double heading = headingDeg * kDegToRad;
    g_parkPositions.emplace_back(std::move(name), std::move(options), lat, lon, heading, radiusMetres, cargo, ramp, heli);
}

void gf_readParkPositions(const pugi::xml_document& doc, std::uint32_t source)
{
    // The names point into the document, which outlives the loop. The set of names seen is one
    // flat table of twice the stands or more (open addressing): no allocation a name.
    const auto parkpositions = doc.child("parkpositions").children("parkpos");
    const auto count = static_cast<std::size_t>(std::distance(parkpositions.begin(), parkpositions.end()));
    const std::size_t mask = std::bit_ceil(2 * count + 1) - 1;
    std::vector<std::string_view> names(mask + 1);  // a null data() marks a free slot
    g_parkPositions.reserve(g_parkPositions.size() + count);
    for (const pugi::xml_node parkpos : parkpositions) {
        const std::string_view id = parkpos.attribute("id").as_string();
        std::size_t slot = std::hash<std::string_view>{}(id) & mask;
        for (; names[slot].data() != nullptr; slot = (slot + 1) & mask)
            if (names[slot] == id)
                throw tvx::UserErrorException(94, "Parking position " + std::string(id) + " appears more than once?");
        names[slot] = id;
        gf_readParkPos(parkpos, std::string(id), source);
    }
}

std::optional<bool> gf_readBoolParameter(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_findParameter(doc, name);
    if (!node)
        return std::nullopt;
    return node.attribute("value").as_bool();
}

std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_findParameter(doc, name);
    if (!node)
        return std::nullopt;
    return static_cast<std::int32_t>(node.attribute("value").as_int());
}

std::optional<std::uint32_t> gf_readRtTrafficWeek(const pugi::xml_document& doc)
{
    const pugi::xml_node node = lf_findParameter(doc, "RT_traffic_week");
    if (!node)
        return std::nullopt;
    return static_cast<std::uint32_t>(node.attribute("value").as_uint());
}

std::optional<std::string> gf_readStringParameter(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_findParameter(doc, name);
    if (!node)
        return std::nullopt;
    return std::string(node.attribute("value").as_string());
}
