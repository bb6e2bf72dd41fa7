// Set-up of the tests of the parked-traffic placement, the stand rules, max park and collision
// avoidance: the motion sandbox (settings, Log.txt in a temporary folder, containers, queues, park
// airport, stands and seams emptied) plus the state these pieces own (work list, stayer and keep
// lists, reserved stand, static counter, remembered positions, schedule clock, user half span),
// the aircraft database and class tables, and one generic livery per test type; plus builders of
// stands, plan entries and parked aircraft.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ac_records.h"
#include "model/stand_model.h"
#include "parking/static_plan.h"
#include "support/motion_fixture.h"

namespace tvxtest {

// Empties everything the placement tests touch (also called between the steps of a test).
void resetPlacementState();

class PlacementTest : public ::testing::Test {
protected:
    PlacementTest();
    ~PlacementTest() override;

    MotionSandbox m_box;
};

// A stand with the id and name at the position; heading in degrees, radius in metres.
ParkPos& placeStand(std::uint32_t id, const std::string& name, double lat, double lon, double headingDeg = 90.0,
                    double radiusMetres = 25.0, bool cargo = false, bool heli = false);
// Makes the two stands overlap each other.
void overlapStands(std::uint32_t a, std::uint32_t b);

// A work-list entry (schedule entry unless hexid is given).
StaticPlanEntry planEntry(std::uint32_t standId, const std::string& callsign, const std::string& callsign2 = "",
                          std::uint8_t stays = 1, std::uint32_t offset = 0, const std::string& airline = "KLM",
                          const std::string& type = "B738", std::uint32_t hexid = 0);

// A static aircraft on the stand (its position), in the state; size from the type's half span.
StaticAc& addStaticAc(std::uint32_t hexid, const std::string& callsign, std::uint32_t standId,
                      AcState state = AcState::Placed, const std::string& type = "B738");

// The builders return references into g_liveAc, g_staticAc and g_parkPositions, which the reset
// reserves for 64 each, so they stay valid while a test adds no more than that.
// A live aircraft at the position (simulator position and one record there), placed, on the
// ground, in the phase and on the stand, parked for the given time.
LiveAc& addLiveAc(std::uint32_t hexid, const std::string& callsign, double lat, double lon,
                  AcPhase phase = AcPhase::Parked, std::uint32_t standId = 0, const std::string& type = "B738",
                  std::chrono::seconds parkedFor = std::chrono::seconds(0));

// Metres north / east of a latitude and longitude, in degrees (small distances).
double northDeg(double metres);
double eastDeg(double metres, double lat);

}  // namespace tvxtest
