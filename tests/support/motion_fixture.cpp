// See motion_fixture.h.
#include "support/motion_fixture.h"

#include <mutex>

#include "foundation/class_tables.h"
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
    // A typical wingspan of the class (nm); every other value is the program's own class row.
    static const double sizes[] = {0.0050, 0.0070, 0.0096, 0.0170, 0.0050, 0.0060};
    const ClassRow& v = gf_classRow(static_cast<std::uint32_t>(sizeClass));
    AcData data;
    data.airline = "DLH";
    data.acType = "A320";
    data.callsign = callsign;
    data.coupledCallsign1 = callsign;
    data.registration = "D-" + callsign.substr(0, 4);
    data.sizeClass = sizeClass;
    data.size = sizes[static_cast<std::size_t>(sizeClass)];
    data.baseTurnRate = v.turnRateDeg * 3.14159265358979323846 / 180.0;
    data.turnRate = data.baseTurnRate;
    data.vertRateCap = v.vertRateCap;
    data.slowGroundSpeed = v.slowGroundSpeed;
    data.flareTicks = v.flareTicks;
    data.touchdownTicks = v.touchdownTicks;
    data.rotationTicks = v.rotationTicks;
    data.climbOutPitchTicks = v.climbOutPitchTicks;
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
