// Set-up of the tests of the stand schedules, the stand search and the static parking plan: the
// motion sandbox (settings, Log.txt, containers, stands, park airport emptied) plus the plan's own
// lists, the seen maps, the parked list, the nearest-stand cache and the schedule clock; the
// standard aircraft database (B738 large 35.8 m, A388 heavy, C172 light, EC35 rotorcraft) and a
// seeded random source. Builders of stands at metre offsets from a base point, of options and of
// aircraft by type.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "model/ac_records.h"
#include "model/stand_model.h"
#include "support/motion_fixture.h"
#include "traffic_service/traffic_records.h"

namespace tvxtest {

inline constexpr double kBaseLat = 52.3;
inline constexpr double kBaseLon = 4.76;

void resetScheduleState();

class ScheduleTest : public ::testing::Test {
protected:
    ScheduleTest();
    ~ScheduleTest() override;

    std::string logText() const { return m_box.logText(); }

    MotionSandbox m_box;
};

// Degrees of latitude / longitude for metres north / east of the base point.
double latAt(double northMetres);
double lonAt(double eastMetres);

// A stand with id n (1..) at metres north/east of the base point (the list has room for 128 stands
// in a test, so the reference stays valid while more are added).
ParkPos& addStand(std::uint32_t id, const std::string& name, double northMetres, double eastMetres,
                  double radiusMetres = 25.0, bool cargo = false, bool ramp = false, bool heli = false);
ParkPos& standById(std::uint32_t id);

// An option of the stand: number, weekday, slots, real, identity.
ParkPosOption& addOption(ParkPos& stand, std::uint32_t weekday, std::initializer_list<std::uint32_t> slots,
                         const std::string& callsign, const std::string& callsign2 = "",
                         const std::string& registration = "", std::uint32_t real = 1,
                         const std::string& airline = "KLM", const std::string& type = "B738");

// An aircraft of the type with identity texts and hexid (size and class from the database).
AcData aircraft(const std::string& type, const std::string& callsign, const std::string& registration = "",
                std::uint32_t hexid = 0x484001, const std::string& airline = "KLM");

// A placed static aircraft on the stand (its position), parked at the stamp.
StaticAc& parkStatic(std::uint32_t standId, const std::string& callsign, std::uint64_t stamp,
                     std::uint32_t planKind = 1, AcState state = AcState::Placed, const std::string& type = "B738",
                     const std::string& airline = "KLM");

// One parked-traffic record at metres north/east of the base point.
ParkedTrafficRecord parkedRecord(std::uint32_t hexid, const std::string& callsign, double northMetres,
                                 double eastMetres, std::uint32_t offset = 0, const std::string& registration = "",
                                 const std::string& type = "B738", const std::string& airline = "KLM");

}  // namespace tvxtest
