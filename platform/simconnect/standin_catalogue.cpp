// Variable, unit and event tables of the stand-in simulator, and data-block packing.
// Constant tables; any thread.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include "simconnect/standin_catalogue.h"

#include <array>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace simstandin {

namespace {

struct NamedVar {
    const char* name;
    VarInfo info;
};

constexpr std::array<NamedVar, 25> kVariables{{
    {"PLANE LATITUDE", {Var::Latitude, Dim::AngleDeg, true}},
    {"PLANE LONGITUDE", {Var::Longitude, Dim::AngleDeg, true}},
    {"PLANE PITCH DEGREES", {Var::Pitch, Dim::AngleRad, true}},
    {"PLANE BANK DEGREES", {Var::Bank, Dim::AngleRad, true}},
    {"PLANE HEADING DEGREES TRUE", {Var::Heading, Dim::AngleRad, true}},
    {"PLANE ALTITUDE", {Var::Altitude, Dim::Length, true}},
    {"VERTICAL SPEED", {Var::VerticalSpeed, Dim::VSpeed, true}},
    {"AIRSPEED TRUE", {Var::AirspeedTrue, Dim::Speed, true}},
    {"PLANE ALT ABOVE GROUND", {Var::AltAboveGround, Dim::Length, false}},
    {"GROUND ALTITUDE", {Var::GroundAltitude, Dim::Length, false}},
    {"GROUND VELOCITY", {Var::GroundVelocity, Dim::Speed, false}},
    {"SIM ON GROUND", {Var::SimOnGround, Dim::Bool, false}},
    {"ATC ID", {Var::AtcId, Dim::Text, false}},
    {"ATC MODEL", {Var::AtcModel, Dim::Text, false}},
    {"TITLE", {Var::Title, Dim::Text, false}},
    {"STATIC CG TO GROUND", {Var::StaticCg, Dim::Length, false}},
    {"STATIC PITCH", {Var::StaticPitch, Dim::AngleRad, false}},
    {"ZULU TIME", {Var::ZuluTime, Dim::Seconds, false}},
    {"ZULU DAY OF YEAR", {Var::ZuluDayOfYear, Dim::Number, false}},
    {"ZULU YEAR", {Var::ZuluYear, Dim::Number, false}},
    {"LIGHT STATES", {Var::LightStates, Dim::Mask, false}},
    {"LIGHT ON STATES", {Var::LightOnStates, Dim::Mask, false}},
    {"SPOILERS HANDLE POSITION", {Var::SpoilersHandle, Dim::Percent, true}},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", {Var::Throttle1, Dim::Percent, true}},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", {Var::Throttle2, Dim::Percent, true}},
}};

struct NamedEvent {
    const char* name;
    SimEvent event;
};

constexpr std::array<NamedEvent, 17> kEvents{{
    {"NAV_LIGHTS_SET", SimEvent::NavLights},
    {"BEACON_LIGHTS_SET", SimEvent::BeaconLights},
    {"LANDING_LIGHTS_SET", SimEvent::LandingLights},
    {"TAXI_LIGHTS_SET", SimEvent::TaxiLights},
    {"LOGO_LIGHTS_SET", SimEvent::LogoLights},
    {"CABIN_LIGHTS_SET", SimEvent::CabinLights},
    {"STROBES_SET", SimEvent::Strobes},
    {"ALL_LIGHTS_TOGGLE", SimEvent::AllLightsToggle},
    {"FREEZE_LATITUDE_LONGITUDE_SET", SimEvent::FreezeLatLon},
    {"FREEZE_ALTITUDE_SET", SimEvent::FreezeAltitude},
    {"FREEZE_ATTITUDE_SET", SimEvent::FreezeAttitude},
    {"FLAPS_SET", SimEvent::Flaps},
    {"SPOILERS_SET", SimEvent::Spoilers},
    {"THROTTLE_SET", SimEvent::Throttle},
    {"GEAR_SET", SimEvent::Gear},
    {"ENGINE_AUTO_START", SimEvent::EngineAutoStart},
    {"ENGINE_AUTO_SHUTDOWN", SimEvent::EngineAutoShutdown},
}};

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

}  // namespace

std::string gf_upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::optional<VarInfo> gf_findVariable(std::string_view name)
{
    const std::string key = gf_upper(name);
    for (const auto& v : kVariables)
        if (key == v.name)
            return v.info;
    return std::nullopt;
}

std::optional<double> gf_unitFactor(Dim dim, const char* unit)
{
    const std::string u = unit ? gf_upper(unit) : std::string();
    auto any = [&u](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (u == n)
                return true;
        return false;
    };
    switch (dim) {
    case Dim::Text:
        if (u.empty() || u == "NONE")
            return 1.0;
        return std::nullopt;
    case Dim::AngleDeg:
    case Dim::AngleRad: {
        const bool toDeg = any({"DEGREE", "DEGREES"});
        const bool toRad = any({"RADIAN", "RADIANS"});
        if (!toDeg && !toRad)
            return std::nullopt;
        if (dim == Dim::AngleDeg)
            return toDeg ? 1.0 : 1.0 / kDegPerRad;
        return toRad ? 1.0 : kDegPerRad;
    }
    case Dim::Length:
        if (any({"FEET", "FOOT"}))
            return 1.0;
        if (any({"METERS", "METER", "METRES", "METRE"}))
            return 0.3048;
        return std::nullopt;
    case Dim::VSpeed:
        if (any({"FEET PER SECOND"}))
            return 1.0;
        if (any({"FEET PER MINUTE", "FEET/MINUTE"}))
            return 60.0;
        return std::nullopt;
    case Dim::Speed:
        if (any({"KNOTS", "KNOT"}))
            return 1.0;
        return std::nullopt;
    case Dim::Percent:
        return any({"PERCENT"}) ? std::optional<double>(1.0) : std::nullopt;
    case Dim::Bool:
        return any({"BOOL", "BOOLEAN"}) ? std::optional<double>(1.0) : std::nullopt;
    case Dim::Mask:
        return any({"MASK"}) ? std::optional<double>(1.0) : std::nullopt;
    case Dim::Seconds:
        return any({"SECONDS", "SECOND"}) ? std::optional<double>(1.0) : std::nullopt;
    case Dim::Number:
        return any({"NUMBER"}) ? std::optional<double>(1.0) : std::nullopt;
    }
    return std::nullopt;
}

std::size_t gf_typeSize(SIMCONNECT_DATATYPE type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32:
        return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8:
        return 8;
    case SIMCONNECT_DATATYPE_STRING32:
        return 32;
    case SIMCONNECT_DATATYPE_STRING64:
        return 64;
    case SIMCONNECT_DATATYPE_STRING128:
        return 128;
    case SIMCONNECT_DATATYPE_STRING256:
        return 256;
    case SIMCONNECT_DATATYPE_STRING260:
        return 260;
    default:
        return 0;
    }
}

bool gf_isStringType(SIMCONNECT_DATATYPE type)
{
    return type >= SIMCONNECT_DATATYPE_STRING8 && type <= SIMCONNECT_DATATYPE_STRINGV;
}

bool gf_isNumericType(SIMCONNECT_DATATYPE type)
{
    return type >= SIMCONNECT_DATATYPE_INT32 && type <= SIMCONNECT_DATATYPE_FLOAT64;
}

std::optional<SimEvent> gf_findSimEvent(std::string_view name)
{
    const std::string key = gf_upper(name);
    for (const auto& e : kEvents)
        if (key == e.name)
            return e.event;
    return std::nullopt;
}

void gf_packNumber(std::string& block, SIMCONNECT_DATATYPE type, double value)
{
    auto append = [&block](const auto& v) {
        block.append(reinterpret_cast<const char*>(&v), sizeof v);
    };
    // Integer targets truncate; a value out of their range (NaN included) packs as 0 rather than
    // being undefined.
    const bool fitsInt = std::isfinite(value) && std::fabs(value) < 9.2e18;
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
        append(static_cast<std::int32_t>(fitsInt && std::fabs(value) < 2.1e9 ? value : 0.0));
        break;
    case SIMCONNECT_DATATYPE_INT64:
        append(static_cast<std::int64_t>(fitsInt ? value : 0.0));
        break;
    case SIMCONNECT_DATATYPE_FLOAT32:
        append(static_cast<float>(value));
        break;
    default:
        append(value);
        break;
    }
}

void gf_packText(std::string& block, SIMCONNECT_DATATYPE type, std::string_view text)
{
    if (type == SIMCONNECT_DATATYPE_STRINGV) {
        const std::size_t start = block.size();
        block.append(text);
        block.push_back('\0');
        while ((block.size() - start) % 4 != 0)
            block.push_back('\0');
        return;
    }
    const std::size_t size = gf_typeSize(type);
    const std::size_t keep = std::min(text.size(), size - 1);
    block.append(text.substr(0, keep));
    block.append(size - keep, '\0');
}

double gf_unpackNumber(const unsigned char* data, std::size_t& offset, SIMCONNECT_DATATYPE type)
{
    auto read = [&](auto v) {
        std::memcpy(&v, data + offset, sizeof v);
        offset += sizeof v;
        return static_cast<double>(v);
    };
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
        return read(std::int32_t{});
    case SIMCONNECT_DATATYPE_INT64:
        return read(std::int64_t{});
    case SIMCONNECT_DATATYPE_FLOAT32:
        return read(float{});
    default:
        return read(double{});
    }
}

}  // namespace simstandin

#endif  // TAVIX_SIM_SDK
