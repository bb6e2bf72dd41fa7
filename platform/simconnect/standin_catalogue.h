// What the stand-in simulator knows by name: simulation variables with their units and types,
// simulator (client) events and system events, and the packing of variable values into the data
// blocks of SIMOBJECT_DATA records. The program's registrations are checked against it, so a wrong
// name, unit or type shows up as a refused datum exactly as with a real simulator.
//
// Pure functions over constant tables; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "simconnect/SimConnect.h"

namespace simstandin {

// World quantities a variable reads or writes.
enum class Var {
    Latitude, Longitude, Pitch, Bank, Heading, Altitude, VerticalSpeed, AirspeedTrue,
    AltAboveGround, GroundAltitude, GroundVelocity, SimOnGround, AtcId, AtcModel, Title,
    StaticCg, StaticPitch, ZuluTime, ZuluDayOfYear, ZuluYear, LightStates, LightOnStates,
    SpoilersHandle, Throttle1, Throttle2
};

// Physical dimension of a variable; a unit is accepted only for its own dimension.
enum class Dim { AngleDeg, AngleRad, Length, VSpeed, Speed, Percent, Bool, Mask, Seconds, Number, Text };

struct VarInfo {
    Var var;
    Dim dim;         // AngleDeg / AngleRad: the unit the world keeps the value in
    bool settable;   // SetDataOnSimObject may write it
};

// Case-insensitive lookup of a variable name ("PLANE LATITUDE", "general eng throttle lever
// position:2", ...). Empty when unknown.
std::optional<VarInfo> gf_findVariable(std::string_view name);

// Factor and kind of a unit name for a dimension: value in the unit = world value * factor (angles
// convert between degrees and radians). Empty when the unit does not fit the dimension. Text
// variables accept a null, empty or "none" unit.
std::optional<double> gf_unitFactor(Dim dim, const char* unit);

// Bytes a datum of this type takes in a data block; 0 for STRINGV (variable) and for unknown types.
std::size_t gf_typeSize(SIMCONNECT_DATATYPE type);
bool gf_isStringType(SIMCONNECT_DATATYPE type);
bool gf_isNumericType(SIMCONNECT_DATATYPE type);

// Client (simulator) events the stand-in applies; case-insensitive. Empty when unknown.
enum class SimEvent {
    NavLights, BeaconLights, LandingLights, TaxiLights, LogoLights, CabinLights, Strobes,
    AllLightsToggle, FreezeLatLon, FreezeAltitude, FreezeAttitude, Flaps, Spoilers, Throttle,
    Gear, EngineAutoStart, EngineAutoShutdown
};
std::optional<SimEvent> gf_findSimEvent(std::string_view name);

// Upper-cased copy, for case-insensitive keys.
std::string gf_upper(std::string_view text);

// Bits of LIGHT STATES / LIGHT ON STATES.
constexpr std::int64_t kLightNav = 0x1, kLightBeacon = 0x2, kLightLanding = 0x4, kLightTaxi = 0x8,
                       kLightStrobe = 0x10, kLightLogo = 0x100, kLightCabin = 0x200;

// Appends one datum to a data block: numbers as the type says (INT types truncate), fixed strings
// cut to size-1 characters and zero-padded, STRINGV NUL-terminated and padded with zeros to a
// multiple of 4 bytes.
void gf_packNumber(std::string& block, SIMCONNECT_DATATYPE type, double value);
void gf_packText(std::string& block, SIMCONNECT_DATATYPE type, std::string_view text);
// Reads one numeric datum at offset; advances offset by its size.
double gf_unpackNumber(const unsigned char* data, std::size_t& offset, SIMCONNECT_DATATYPE type);

}  // namespace simstandin
