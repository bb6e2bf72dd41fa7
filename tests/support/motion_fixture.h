// A sandbox for tests of the live-aircraft lifecycle, the movement along records and the stream
// append rules: settings at their defaults with Log.txt in a temporary folder, the tick counter,
// aircraft containers, request and command queues, user state, park airport, stands and the stand
// services all emptied before and after the test; plus builders of position records and
// live aircraft with fixed per-class values (no aircraft database needed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/ac_records.h"
#include "simulator/command_queues.h"
#include "support/settings_fixture.h"
#include "traffic_service/traffic_records.h"

namespace tvxtest {

class MotionSandbox {
public:
    MotionSandbox();
    ~MotionSandbox();
    MotionSandbox(const MotionSandbox&) = delete;
    MotionSandbox& operator=(const MotionSandbox&) = delete;

    std::string logText() const { return m_settings.logText(); }
    const TempFolder& folder() const { return m_settings.folder(); }

private:
    static void lf_resetAll();
    SettingsSandbox m_settings;
};

// A position record: ground unless airborne, heading and bank not valid, track in degrees.
PosRecord rec(double lat, double lon, std::int32_t slot, double speed = 0.0, bool airborne = false,
              double alt = 0.0, double track = 0.0);

// A live aircraft of the class with the class's values (Large: size 0.0096 nm, turn rate
// 0.07 degrees per tick, vertical-rate cap 0.6 ft per tick), hexid, callsign and registration,
// state and phase as given, its stream made of the records.
LiveAc makeLiveAc(std::uint32_t hexid, const std::string& callsign, std::vector<PosRecord> stream,
                  SizeClass sizeClass = SizeClass::Large, AcState state = AcState::Buffering,
                  AcPhase phase = AcPhase::New);

// Sets the user aircraft's copy (position, altitude, above ground, heading in radians, speed).
void setUser(double lat, double lon, double alt = 0.0, double agl = 0.0, double headingRad = 0.0,
             double groundSpeed = 0.0, bool onGround = true);

// Client events queued for the object, in order.
std::vector<ClientEventCmd> eventsFor(std::uint32_t objectId);

}  // namespace tvxtest
