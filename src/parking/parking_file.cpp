// Airport parking files: writing a whole file, its parameters, stands and options, and reading one
// stand and the typed header parameters. See parking_file.h for the layout.
//
// Threads: the caller's (main loop for the park airport's files, scan workers for scanned files).
#include "parking/parking_file.h"

#include <cmath>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "liveries/aircraft_db.h"
#include "parking/registration_lookup.h"

std::atomic<bool> g_handmadeOverruled{false};

namespace {


// The parameter element of the key under the top-level parameters element, or a null node.
pugi::xml_node lf_findParameter(const pugi::xml_document& doc, std::string_view name)
{
    return doc.select_node(gf_parameterXPath(name).c_str()).node();
}

bool lf_addBool(pugi::xml_document& doc, std::string_view key, bool value)
{
    return BoolParameter::setNode(doc, key, value);
}

// The full form of a stand: position, heading, radius and its kind.
void lf_writeFullForm(pugi::xml_node parkpos, const ParkPos& stand)
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
    if (stand.manual)
        parkpos.append_attribute("manual").set_value("true");
}

}  // namespace

// ---- Writing --------------------------------------------------------------------------------

bool gf_addUintParameter(pugi::xml_document& doc, std::string_view name, std::uint32_t value)
{
    return StringParameter::addNode(doc, name, tvx::format("{}", value));
}

bool lf_writeApfParameters(pugi::xml_document& doc, const ApfRecord& record, std::uint32_t fromScan)
{
    const bool handmade = g_handmadeOverruled.load();
    bool ok = StringParameter::addNode(doc, "airport_name", record.airportName);
    ok = ok && StringParameter::addNode(doc, "publisher", record.publisher);
    if (ok && handmade)
        ok = lf_addBool(doc, "handmade", true);
    if (ok && (handmade || fromScan == 1))
        ok = IntParameter::addNode(doc, "altitude", record.altitude);
    ok = ok && gf_addUintParameter(doc, "num_parkpos", static_cast<std::uint32_t>(record.stands.size()));
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
        lf_writeFullForm(parkpos, stand);
        return;
    }
    if (stand.radiusChange || stand.cargoChange) {
        if (stand.manual) {
            lf_writeFullForm(parkpos, stand);
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
        lf_writeFullForm(parkpos, stand);
    }
    for (const ParkPosOption& option : stand.options)
        lf_writeOpt(parkpos, option);
}

bool gf_writeApf(const ApfRecord& record, const std::filesystem::path& path, std::uint32_t fromScan)
{
    pugi::xml_document doc;
    if (!gf_addMetaData(doc))
        return false;
    if (!lf_writeApfParameters(doc, record, fromScan))
        return false;
    pugi::xml_node parkpositions = doc.append_child("parkpositions");
    if (!parkpositions)
        return false;
    for (const ParkPos& stand : record.stands)
        lf_writeParkPos(parkpositions, stand, fromScan);
    // Through a temporary file renamed over the old one: a full disk leaves the old file whole.
    auto temporary = path;
    temporary += ".tmp";
    std::error_code ec;
    if (!doc.save_file(temporary.c_str())) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

// ---- Reading --------------------------------------------------------------------------------

AirlineType lf_readAirlType(const pugi::xml_node& opt)
{
    return {opt.attribute("airl").as_string(), opt.attribute("type").as_string()};
}

OptIdentity lf_readOptIdentity(const pugi::xml_node& opt)
{
    OptIdentity identity;
    const std::string cs = opt.attribute("cs").as_string();
    const std::size_t colon = cs.find(':');
    identity.callsign = cs.substr(0, colon);
    // Only "A:B" carries a second callsign; "A:B:C" is damaged and keeps the first part alone.
    if (colon != std::string::npos && cs.find(':', colon + 1) == std::string::npos)
        identity.callsign2 = cs.substr(colon + 1);

    const std::string registration = opt.attribute("reg").as_string();
    std::optional<RegistrationIdentity> known;
    if (!registration.empty())
        known = gf_registrationIdentity(registration);
    if (known) {
        identity.airline = std::move(known->airline);
        identity.type = std::move(known->type);
    } else {
        AirlineType fromFile = lf_readAirlType(opt);
        identity.airline = std::move(fromFile.airline);
        identity.type = std::move(fromFile.type);
    }
    return identity;
}

ParkPosOption gf_readOpt(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t source)
{
    OptIdentity identity = lf_readOptIdentity(opt);
    ParkPosOption option;
    option.airline = std::move(identity.airline);
    option.type = std::move(identity.type);
    option.registration = opt.attribute("reg").as_string();
    option.callsign = std::move(identity.callsign);
    option.callsign2 = std::move(identity.callsign2);
    option.slots = lf_hours2bitset(opt.attribute("hh").as_string());
    option.number = number;
    option.weekday = opt.attribute("day").as_uint();
    option.source = source;
    option.real = opt.attribute("soft").as_bool() ? 0 : 1;
    return option;
}

void gf_readParkPos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t source)
{
    const double lat = gf_xmlAttributeAsDouble(parkpos, "latitude");
    const double lon = gf_xmlAttributeAsDouble(parkpos, "longitude");
    const double radiusMetres = gf_xmlAttributeAsDouble(parkpos, "radius");
    const double headingDeg = parkpos.attribute("heading").as_double();
    // A stand that is no place on the world ("nan" included) is refused like a number that is none.
    if (!(std::abs(lat) <= 90.0 && std::abs(lon) <= 180.0 && radiusMetres >= 0.0 && std::isfinite(radiusMetres)
          && std::isfinite(headingDeg)))
        throw std::invalid_argument(tvx::format("parking position {} lies off the world: latitude {}, longitude {}, "
                                                "heading {}, radius {}",
                                                name, parkpos.attribute("latitude").as_string(),
                                                parkpos.attribute("longitude").as_string(),
                                                parkpos.attribute("heading").as_string(),
                                                parkpos.attribute("radius").as_string()));

    std::vector<ParkPosOption> options;
    options.reserve(256);
    std::uint32_t number = 0;
    for (const pugi::xml_node opt : parkpos.children("opt"))
        options.push_back(gf_readOpt(opt, ++number, source));
    options.shrink_to_fit();

    const bool heli = parkpos.attribute("heli").as_bool();
    const bool ramp = parkpos.attribute("ramp").as_bool();
    const bool cargo = parkpos.attribute("cargo").as_bool();
    const double heading = headingDeg * kDegToRad;
    g_parkPositions.emplace_back(name, std::move(options), lat, lon, heading, radiusMetres, cargo, ramp, heli);
}

void gf_readParkPositions(const pugi::xml_document& doc, std::uint32_t source)
{
    std::set<std::string> names;
    for (const pugi::xml_node parkpos : doc.child("parkpositions").children("parkpos")) {
        const std::string name = parkpos.attribute("id").as_string();
        if (!names.insert(name).second)
            throw tvx::UserErrorException(94, "Parking position " + name + " appears more than once?");
        gf_readParkPos(parkpos, name, source);
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
