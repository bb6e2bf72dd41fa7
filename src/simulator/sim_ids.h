// The fixed SimConnect identifiers of the simulator link and the byte layouts of the data
// definitions: system events 201-205, client events 206-222, notification group 301, data
// definitions 401-409 and requests 101-110. The layouts below are the wire form of the data the
// program writes to and reads from the simulator; lf_setupSimConnect registers the variables in
// exactly this order. Constants only, usable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace simid {

// System events, subscribed in the order 201, 202, 203, 205, 204.
inline constexpr std::uint32_t EVENT_SIM = 201;             // "Sim"
inline constexpr std::uint32_t EVENT_OBJECT_ADDED = 202;    // "ObjectAdded"
inline constexpr std::uint32_t EVENT_OBJECT_REMOVED = 203;  // "ObjectRemoved"
inline constexpr std::uint32_t EVENT_FRAME = 204;           // "Frame"
inline constexpr std::uint32_t EVENT_FLIGHT_LOADED = 205;   // "FlightLoaded"

// Client events; all but ENGINE_AUTO_START belong to GROUP_AI, and all are sent with it.
inline constexpr std::uint32_t BEACON_LIGHTS_SET = 206;
inline constexpr std::uint32_t NAV_LIGHTS_SET = 207;
inline constexpr std::uint32_t TAXI_LIGHTS_SET = 208;
inline constexpr std::uint32_t STROBES_SET = 209;
inline constexpr std::uint32_t LANDING_LIGHTS_SET = 210;
inline constexpr std::uint32_t CABIN_LIGHTS_SET = 211;
inline constexpr std::uint32_t LOGO_LIGHTS_SET = 212;
inline constexpr std::uint32_t ALL_LIGHTS_TOGGLE = 213;
inline constexpr std::uint32_t FREEZE_LATITUDE_LONGITUDE_SET = 214;
inline constexpr std::uint32_t FREEZE_ALTITUDE_SET = 215;
inline constexpr std::uint32_t FREEZE_ATTITUDE_SET = 216;
inline constexpr std::uint32_t FLAPS_SET = 217;
inline constexpr std::uint32_t SPOILERS_SET = 218;
inline constexpr std::uint32_t GEAR_SET = 219;
inline constexpr std::uint32_t ENGINE_AUTO_START = 220;
inline constexpr std::uint32_t ENGINE_AUTO_SHUTDOWN = 221;
inline constexpr std::uint32_t THROTTLE_SET = 222;

inline constexpr std::uint32_t GROUP_AI = 301;

// Data definitions.
inline constexpr std::uint32_t DEF_SPOILER_THROTTLE = 401;  // written, 24 bytes
inline constexpr std::uint32_t DEF_AI_POSITION = 402;       // written, 64 bytes
inline constexpr std::uint32_t DEF_USER_STATE = 403;        // read, 96 bytes
inline constexpr std::uint32_t DEF_AC_IN_RANGE = 404;       // read by type, 56 bytes
inline constexpr std::uint32_t DEF_STATIC_GROUND = 405;     // read, 16 bytes
inline constexpr std::uint32_t DEF_LIGHT_ON_STATES = 406;   // defined, never requested
inline constexpr std::uint32_t DEF_USER_TITLE = 407;        // read, variable length text
inline constexpr std::uint32_t DEF_USER_MODEL = 408;        // read, 32 bytes
inline constexpr std::uint32_t DEF_USER_ON_GROUND = 409;    // read, 8 bytes, once a second

// Requests.
inline constexpr std::uint32_t REQ_AC_IN_RANGE = 101;
inline constexpr std::uint32_t REQ_STATIC_GROUND = 102;
inline constexpr std::uint32_t REQ_RELEASE_CONTROL = 103;
inline constexpr std::uint32_t REQ_CREATE_AC = 104;
inline constexpr std::uint32_t REQ_REMOVE_AC = 105;
inline constexpr std::uint32_t REQ_USER_TITLE = 106;
inline constexpr std::uint32_t REQ_USER_MODEL = 107;
inline constexpr std::uint32_t REQ_USER_ON_GROUND = 108;
inline constexpr std::uint32_t REQ_USER_STATE = 109;
inline constexpr std::uint32_t REQ_FLIGHT_PLAN = 110;

}  // namespace simid

// Definition 401: spoiler handle and both throttle levers, percent.
struct SpoilerThrottleData {
    double spoilerHandle;
    double throttle1;
    double throttle2;
};
static_assert(sizeof(SpoilerThrottleData) == 24);

// Definition 403: the user aircraft's state (attitude in radians despite the variable names).
struct UserAcState {
    double latitude = 0.0;        // degrees
    double longitude = 0.0;       // degrees
    double pitch = 0.0;           // radians
    double bank = 0.0;            // radians
    double heading = 0.0;         // radians, true
    double altitude = 0.0;        // feet; a negative altitude is stored as 0
    double altAboveGround = 0.0;  // feet
    double groundVelocity = 0.0;  // knots
    std::int64_t zuluTime = 0;    // seconds of the day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;
};
static_assert(sizeof(UserAcState) == 96);

// Definition 404: one aircraft in range.
struct AcInRangeData {
    double altAboveGround;  // feet
    double groundAltitude;  // feet
    std::int64_t onGround;  // 0 or 1
    char atcId[32];         // zero-terminated within its 32 bytes (not trusted to be)
};
static_assert(sizeof(AcInRangeData) == 56);

// Definition 405: static ground data of an AI object.
struct StaticGroundData {
    double staticCgHeight;  // feet
    double staticPitch;     // radians
};
static_assert(sizeof(StaticGroundData) == 16);

inline constexpr std::uint32_t g_atcIdSize = 32;   // STRING32 field of 404 and 408
inline constexpr std::size_t g_maxTailNumberLength = 12;  // longest tail number the simulator takes
