// Registration of the fixed ids right after SimConnect_Open, and its mirror image at
// disconnection. SimConnect thread only. The results of these calls are not examined: a failed
// registration shows up later as a SimConnect exception or a request error.
#include "simulator/sim_client.h"

#include "simulator/sim_ids.h"

namespace {

struct Datum {
    std::uint32_t def;
    const char* name;
    const char* unit;  // nullptr for strings
    SIMCONNECT_DATATYPE type;
};

constexpr SIMCONNECT_DATATYPE F64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr SIMCONNECT_DATATYPE I64 = SIMCONNECT_DATATYPE_INT64;

// Step 2, in this order: 407, 408, 409, 402, 403, 405, 406, 404. The attitude variables are
// registered in radians despite their names.
constexpr Datum kDefinitions[] = {
    {simid::DEF_USER_TITLE, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
    {simid::DEF_USER_MODEL, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {simid::DEF_USER_ON_GROUND, "SIM ON GROUND", "Bool", I64},
    {simid::DEF_AI_POSITION, "Plane Latitude", "degree", F64},
    {simid::DEF_AI_POSITION, "Plane Longitude", "degree", F64},
    {simid::DEF_AI_POSITION, "Plane Pitch degrees", "radians", F64},
    {simid::DEF_AI_POSITION, "Plane Bank degrees", "radians", F64},
    {simid::DEF_AI_POSITION, "Plane Heading degrees true", "radians", F64},
    {simid::DEF_AI_POSITION, "Plane Altitude", "feet", F64},
    {simid::DEF_AI_POSITION, "Vertical Speed", "feet per second", F64},
    {simid::DEF_AI_POSITION, "Airspeed True", "knots", F64},
    {simid::DEF_USER_STATE, "Plane Latitude", "degree", F64},
    {simid::DEF_USER_STATE, "Plane Longitude", "degree", F64},
    {simid::DEF_USER_STATE, "Plane Pitch degrees", "radians", F64},
    {simid::DEF_USER_STATE, "Plane Bank degrees", "radians", F64},
    {simid::DEF_USER_STATE, "Plane Heading degrees true", "radians", F64},
    {simid::DEF_USER_STATE, "Plane Altitude", "feet", F64},
    {simid::DEF_USER_STATE, "Plane Alt Above Ground", "feet", F64},
    {simid::DEF_USER_STATE, "Ground Velocity", "knots", F64},
    {simid::DEF_USER_STATE, "ZULU TIME", "Seconds", I64},
    {simid::DEF_USER_STATE, "ZULU DAY OF YEAR", "Number", I64},
    {simid::DEF_USER_STATE, "ZULU YEAR", "Number", I64},
    {simid::DEF_USER_STATE, "LIGHT STATES", "Mask", I64},
    {simid::DEF_STATIC_GROUND, "Static CG to Ground", "feet", F64},
    {simid::DEF_STATIC_GROUND, "Static Pitch", "radians", F64},
    {simid::DEF_LIGHT_ON_STATES, "Light On States", "Mask", I64},
    {simid::DEF_AC_IN_RANGE, "Plane Alt Above Ground", "feet", F64},
    {simid::DEF_AC_IN_RANGE, "Ground Altitude", "feet", F64},
    {simid::DEF_AC_IN_RANGE, "SIM ON GROUND", "Bool", I64},
    {simid::DEF_AC_IN_RANGE, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
};

// Step 4: definition 401, registered after the client events.
constexpr Datum kSpoilerThrottle[] = {
    {simid::DEF_SPOILER_THROTTLE, "SPOILERS HANDLE POSITION", "percent", F64},
    {simid::DEF_SPOILER_THROTTLE, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F64},
    {simid::DEF_SPOILER_THROTTLE, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F64},
};

struct EventName {
    std::uint32_t id;
    const char* name;
};

constexpr EventName kClientEvents[] = {
    {simid::GEAR_SET, "GEAR_SET"},
    {simid::ENGINE_AUTO_START, "ENGINE_AUTO_START"},
    {simid::ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
    {simid::THROTTLE_SET, "THROTTLE_SET"},
    {simid::FLAPS_SET, "FLAPS_SET"},
    {simid::SPOILERS_SET, "SPOILERS_SET"},
    {simid::NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
    {simid::BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
    {simid::LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
    {simid::TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
    {simid::STROBES_SET, "STROBES_SET"},
    {simid::LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
    {simid::CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
    {simid::ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
    {simid::FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {simid::FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
    {simid::FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
};

// Step 5: every client event but ENGINE_AUTO_START joins group 301.
constexpr std::uint32_t kGroupMembers[] = {
    simid::NAV_LIGHTS_SET,   simid::BEACON_LIGHTS_SET,  simid::LANDING_LIGHTS_SET,
    simid::TAXI_LIGHTS_SET,  simid::STROBES_SET,        simid::LOGO_LIGHTS_SET,
    simid::CABIN_LIGHTS_SET, simid::ALL_LIGHTS_TOGGLE,  simid::FLAPS_SET,
    simid::SPOILERS_SET,     simid::GEAR_SET,           simid::ENGINE_AUTO_SHUTDOWN,
    simid::THROTTLE_SET,     simid::FREEZE_LATITUDE_LONGITUDE_SET, simid::FREEZE_ALTITUDE_SET,
    simid::FREEZE_ATTITUDE_SET,
};

void lf_addDatum(const Datum& d)
{
    SimConnect_AddToDataDefinition(g_hSimConnect, d.def, d.name, d.unit, d.type, 0.0f,
                                   SIMCONNECT_UNUSED);
}

}  // namespace

void lf_setupSimConnect()
{
    SimConnect_SubscribeToSystemEvent(g_hSimConnect, simid::EVENT_SIM, "Sim");
    SimConnect_SubscribeToSystemEvent(g_hSimConnect, simid::EVENT_OBJECT_ADDED, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(g_hSimConnect, simid::EVENT_OBJECT_REMOVED, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(g_hSimConnect, simid::EVENT_FLIGHT_LOADED, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(g_hSimConnect, simid::EVENT_FRAME, "Frame");

    for (const Datum& d : kDefinitions)
        lf_addDatum(d);
    for (const EventName& e : kClientEvents)
        SimConnect_MapClientEventToSimEvent(g_hSimConnect, e.id, e.name);
    for (const Datum& d : kSpoilerThrottle)
        lf_addDatum(d);
    for (std::uint32_t id : kGroupMembers)
        SimConnect_AddClientEventToNotificationGroup(g_hSimConnect, simid::GROUP_AI, id, TRUE);
    SimConnect_SetNotificationGroupPriority(g_hSimConnect, simid::GROUP_AI,
                                            SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

// The mirror image of the registration; part of every disconnection.
void lf_unregisterSimConnect()
{
    for (std::uint32_t def : {simid::DEF_USER_TITLE, simid::DEF_USER_MODEL, simid::DEF_USER_ON_GROUND,
                              simid::DEF_AI_POSITION, simid::DEF_USER_STATE,
                              simid::DEF_SPOILER_THROTTLE, simid::DEF_AC_IN_RANGE,
                              simid::DEF_STATIC_GROUND, simid::DEF_LIGHT_ON_STATES})
        SimConnect_ClearDataDefinition(g_hSimConnect, def);
    for (std::uint32_t id = simid::EVENT_SIM; id <= simid::EVENT_FLIGHT_LOADED; ++id)
        SimConnect_UnsubscribeFromSystemEvent(g_hSimConnect, id);
}
