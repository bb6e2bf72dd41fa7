// See motion_fixture.h.
#include "support/motion_fixture.h"

#include <mutex>

#include "liveries/livery_tables.h"
#include "liveries/refused.h"
#include "model/airport_list.h"
#include "model/model_state.h"
#include "model/stand_model.h"
#include "simulator/ai_tick.h"
#include "simulator/duplicates.h"
#include "simulator/flight_plan.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/simulator_state.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"

namespace tvxtest {

MotionSandbox::MotionSandbox()
{
    lf_resetAll();
}

MotionSandbox::~MotionSandbox()
{
    lf_resetAll();
}

void MotionSandbox::lf_resetAll()
{
    gf_resetSimulatorState();
    gf_resetModelState();
    // The livery table and the refused liveries; the aircraft database stays for the fixture.
    gf_setLiveries({});
    g_refusedLiveries.clear();
    // No parking behind the motion: the simulator's stand calls find nothing.
    gf_setStandServices(nullptr);
}

PosRecord rec(double lat, double lon, std::int32_t slot, double speed, bool airborne, double alt, double track)
{
    PosRecord r;
    r.lat = lat;
    r.lon = lon;
    r.slot = slot;
    r.speed = speed;
    r.tas = speed;
    r.airborne = airborne ? 1 : 0;
    r.alt = alt;
    r.track = track;
    return r;
}

LiveAc makeLiveAc(std::uint32_t hexid, const std::string& callsign, std::vector<PosRecord> stream,
                  SizeClass sizeClass, AcState state, AcPhase phase)
{
    struct ClassValues {
        double size, turnDeg, cap, slow;
        std::uint32_t flare, touchdown, rotation, climbOut;
        double rotationPitchDeg, climbPitchDeg;
    };
    static const ClassValues values[] = {
        {0.0050, 0.15, 0.5, 5.0, 250, 250, 100, 200, -9.0, -15.0},
        {0.0070, 0.10, 0.75, 4.5, 300, 300, 200, 250, -8.0, -18.0},
        {0.0096, 0.07, 0.6, 4.0, 400, 350, 200, 300, -6.0, -16.5},
        {0.0170, 0.05, 0.5, 3.0, 450, 450, 250, 400, -5.0, -12.5},
        {0.0050, 0.10, 1.0, 4.5, 150, 150, 100, 200, -6.0, -20.0},
        {0.0060, 0.20, 0.75, 5.0, 100, 100, 100, 100, -20.0, -30.0},
    };
    const ClassValues& v = values[static_cast<std::size_t>(sizeClass)];
    AcData data;
    data.airline = "DLH";
    data.acType = "A320";
    data.callsign = callsign;
    data.coupledCallsign1 = callsign;
    data.registration = "D-" + callsign.substr(0, 4);
    data.sizeClass = sizeClass;
    data.size = v.size;
    data.baseTurnRate = v.turnDeg * 3.14159265358979323846 / 180.0;
    data.turnRate = data.baseTurnRate;
    data.vertRateCap = v.cap;
    data.slowGroundSpeed = v.slow;
    data.flareTicks = v.flare;
    data.touchdownTicks = v.touchdown;
    data.rotationTicks = v.rotation;
    data.climbOutPitchTicks = v.climbOut;
    data.rotationPitch = v.rotationPitchDeg * 3.14159265358979323846 / 180.0;
    data.climbPitch = v.climbPitchDeg * 3.14159265358979323846 / 180.0;
    data.hexid = hexid;
    LiveAc ac(stream.empty() ? PosRecord{} : stream.front(), data, 0.0);
    ac.stream.assign(stream.begin(), stream.end());
    ac.state = state;
    ac.phase = phase;
    return ac;
}

void setUser(double lat, double lon, double alt, double agl, double headingRad, double groundSpeed, bool onGround)
{
    g_userAcCopy.latitude = lat;
    g_userAcCopy.longitude = lon;
    g_userAcCopy.altitude = alt;
    g_userAcCopy.altAboveGround = agl;
    g_userAcCopy.heading = headingRad;
    g_userAcCopy.groundVelocity = groundSpeed;
    g_userOnGround.store(onGround);
}

std::vector<ClientEventCmd> eventsFor(std::uint32_t objectId)
{
    std::lock_guard lock(g_simConnectMutex);
    std::vector<ClientEventCmd> out;
    for (const ClientEventCmd& e : g_clientEventCmds)
        if (e.objectId == objectId)
            out.push_back(e);
    return out;
}

}  // namespace tvxtest
