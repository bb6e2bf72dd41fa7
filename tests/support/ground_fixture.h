// Set-up of the tests of the ground movement, the configuration by phase, duplicates and refused
// liveries: the motion sandbox (settings, Log.txt in a temporary folder, containers, queues, park
// airport, stands and motion seams emptied) plus the state these pieces own, emptied before and
// after each test; and small builders of stands and of the park airport.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>

#include "liveries/refused.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "simconnect/standin_sim.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/ground_motion.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_math.h"
#include "simulator/refused_liveries.h"
#include "simulator/sim_ids.h"
#include "support/stand_services_fake.h"
#include "support/motion_fixture.h"
#include "traffic_service/weather.h"

namespace tvxtest {

inline constexpr double kDeg = 3.14159265358979323846 / 180.0;

inline void resetGroundState()
{
    g_duplicateCheckList.clear();
    g_ghostCallsigns.clear();
    g_noMatchSet.clear();
    g_refusedLiveries.clear();
    g_refusedTypes.clear();
    g_qnh.store(1013);
}

class GroundTest : public ::testing::Test {
protected:
    GroundTest() { resetGroundState(); }
    ~GroundTest() override { resetGroundState(); }

    MotionSandbox m_box;
    FakeStandServices stands;  // after m_box: the sandbox's reset would undo it
};

// A stand of the park airport with the id given; radius in metres, heading in degrees.
inline ParkPos& addStand(std::uint32_t id, const std::string& name, double lat, double lon, double headingDeg,
                         double radiusMetres = 20.0)
{
    ParkPos stand(name, {}, lat, lon, headingDeg * kDeg, radiusMetres, false, false, false);
    stand.standId = id;
    g_parkPositions.push_back(std::move(stand));
    return g_parkPositions.back();
}

inline void setParkAirport(const std::string& code, double lat, double lon, double altFt = 0.0)
{
    g_parkAirport.code = code;
    g_parkAirport.lat = lat;
    g_parkAirport.lon = lon;
    g_parkAirport.alt = altFt;
}

// Client events of one kind queued for the object, their data in order.
inline std::vector<std::uint32_t> eventData(std::uint32_t objectId, std::uint32_t eventId)
{
    std::vector<std::uint32_t> out;
    for (const ClientEventCmd& e : eventsFor(objectId))
        if (e.eventId == eventId)
            out.push_back(e.data);
    return out;
}

// The seven light values of the newest light set queued for the object (nav..cabin), or an empty
// vector when none was queued.
inline std::vector<std::uint32_t> lastLights(std::uint32_t objectId)
{
    static constexpr std::uint32_t order[] = {simid::NAV_LIGHTS_SET,   simid::BEACON_LIGHTS_SET,
                                              simid::LANDING_LIGHTS_SET, simid::TAXI_LIGHTS_SET,
                                              simid::STROBES_SET,      simid::LOGO_LIGHTS_SET,
                                              simid::CABIN_LIGHTS_SET};
    const std::vector<ClientEventCmd> events = eventsFor(objectId);
    for (std::size_t i = events.size(); i >= 7; --i) {
        bool match = true;
        for (std::size_t k = 0; k < 7; ++k)
            match = match && events[i - 7 + k].eventId == order[k];
        if (match) {
            std::vector<std::uint32_t> out;
            for (std::size_t k = 0; k < 7; ++k)
                out.push_back(events[i - 7 + k].data);
            return out;
        }
    }
    return {};
}

inline std::size_t lightSetsQueued(std::uint32_t objectId)
{
    std::size_t n = 0;
    for (const ClientEventCmd& e : eventsFor(objectId))
        n += e.eventId == simid::NAV_LIGHTS_SET ? 1 : 0;
    return n;
}

}  // namespace tvxtest
