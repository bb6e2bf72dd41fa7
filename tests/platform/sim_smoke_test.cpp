// Program-side smoke test: a client written the way the simulator link uses SimConnect (its ids,
// names, units and call order) connects to the stand-in, reads the user aircraft, creates an AI
// aircraft and recognises it by its ATC id, and gets a refused creation back as exception 22 with
// the create call's packet id.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/sim_probe.h"

using namespace simstandin;
using tvxtest::SimProbe;

namespace {

class SimSmoke : public tvxtest::SimWorldTest {};

struct UserState {
    double lat, lon, pitch, bank, heading, alt, agl, gs;
    std::int64_t zuluTime, zuluDay, zuluYear, lights;
};
static_assert(sizeof(UserState) == 96);

struct InRange {
    double agl, groundAlt;
    std::int64_t onGround;
    char atcId[32];
};
static_assert(sizeof(InRange) == 56);

}  // namespace

TEST_F(SimSmoke, ConnectReadUserCreateAndRefuse)
{
    sim().addTitle("Airbus A320 Lufthansa");
    UserAc user;
    user.pos = Geo{50.0333, 8.5706, 364.0};
    user.headingRad = 4.4;
    sim().setUser(user);
    sim().setTerrain([](double, double) { return 364.0 - 8.0; });
    sim().startFlight();

    // The client's own state, kept by its dispatch as the program's handlers would. Declared
    // before the probe, so the probe's thread ends first on every way out.
    std::mutex m;
    bool flightRunning = false;
    std::vector<DWORD> added;
    std::vector<std::pair<DWORD, std::string>> pending;  // packet id, callsign
    std::optional<UserState> userState;
    std::vector<std::pair<DWORD, std::string>> placed;   // object id, callsign
    std::vector<DWORD> refusedPackets;
    int frames = 0;
    SimProbe p(false);
    ASSERT_TRUE(p.opened());
    HANDLE h = p.handle();

    // Registrations as the program makes them.
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, 203, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, 205, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
    const char* state[][3] = {
        {"Plane Latitude", "degree", "f"},  {"Plane Longitude", "degree", "f"},
        {"Plane Pitch degrees", "radians", "f"}, {"Plane Bank degrees", "radians", "f"},
        {"Plane Heading degrees true", "radians", "f"}, {"Plane Altitude", "feet", "f"},
        {"Plane Alt Above Ground", "feet", "f"}, {"Ground Velocity", "knots", "f"},
        {"ZULU TIME", "Seconds", "i"},      {"ZULU DAY OF YEAR", "Number", "i"},
        {"ZULU YEAR", "Number", "i"},       {"LIGHT STATES", "Mask", "i"}};
    for (const auto& r : state)
        SimConnect_AddToDataDefinition(h, 403, r[0], r[1],
                                       r[2][0] == 'f' ? SIMCONNECT_DATATYPE_FLOAT64 : SIMCONNECT_DATATYPE_INT64, 0.0f,
                                       SIMCONNECT_UNUSED);
    SimConnect_AddToDataDefinition(h, 404, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64);
    SimConnect_AddToDataDefinition(h, 404, "Ground Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64);
    SimConnect_AddToDataDefinition(h, 404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    SimConnect_AddToDataDefinition(h, 404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);

    p.setHook([&](const SIMCONNECT_RECV* r) {
        std::lock_guard lock(m);
        switch (r->dwID) {
        case SIMCONNECT_RECV_ID_EVENT: {
            const auto* e = reinterpret_cast<const SIMCONNECT_RECV_EVENT*>(r);
            if (e->uEventID == 201)
                flightRunning = e->dwData == 1;
            break;
        }
        case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: {
            const auto* e = reinterpret_cast<const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE*>(r);
            if (e->uEventID == 202 && e->eObjType == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)
                added.push_back(e->dwData);
            break;
        }
        case SIMCONNECT_RECV_ID_EVENT_FRAME:
            ++frames;
            break;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: {
            const auto* d = reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(r);
            if (d->dwRequestID == 109) {
                UserState s;
                std::memcpy(&s, &d->dwData, sizeof s);
                userState = s;
            }
            break;
        }
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
            const auto* d = reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE*>(r);
            auto it = std::find(added.begin(), added.end(), d->dwObjectID);
            if (d->dwRequestID != 101 || d->dwObjectID <= 1 || it == added.end())
                break;
            added.erase(it);
            InRange v;
            std::memcpy(&v, &d->dwData, sizeof v);
            for (auto pc = pending.begin(); pc != pending.end(); ++pc)
                if (pc->second == v.atcId) {
                    placed.emplace_back(d->dwObjectID, pc->second);
                    pending.erase(pc);
                    break;
                }
            break;
        }
        case SIMCONNECT_RECV_ID_EXCEPTION: {
            const auto* e = reinterpret_cast<const SIMCONNECT_RECV_EXCEPTION*>(r);
            if (e->dwException == SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED)
                refusedPackets.push_back(e->dwSendID);
            break;
        }
        default:
            break;
        }
    });
    p.start();

    // Connected into a running flight: the "Sim" state arrives with the first delivery.
    ASSERT_TRUE(sim().deliver()) << sim().lastError();
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(flightRunning);
    }
    // The user aircraft's state.
    ASSERT_TRUE(SUCCEEDED(SimConnect_RequestDataOnSimObject(h, 109, 403, SIMCONNECT_OBJECT_ID_USER,
                                                             SIMCONNECT_PERIOD_ONCE)));
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    {
        std::lock_guard lock(m);
        ASSERT_TRUE(userState);
        EXPECT_DOUBLE_EQ(userState->lat, 50.0333);
        EXPECT_DOUBLE_EQ(userState->heading, 4.4);
        EXPECT_DOUBLE_EQ(userState->agl, 8.0);
        EXPECT_EQ(frames, 1);
    }
    // Two creations: a known title and an unknown one, each remembered by its packet id.
    SIMCONNECT_DATA_INITPOSITION init{50.05, 8.6, 3000.0, -3.0, 0.0, 250.0, 0, 0};
    auto createAc = [&](const char* title, const char* callsign) {
        EXPECT_TRUE(SUCCEEDED(SimConnect_AICreateNonATCAircraft(h, title, callsign, init, 104)));
        DWORD packet = 0;
        EXPECT_TRUE(SUCCEEDED(SimConnect_GetLastSentPacketID(h, &packet)));
        std::lock_guard lock(m);
        pending.emplace_back(packet, callsign);
        return packet;
    };
    createAc("Airbus A320 Lufthansa", "DLH123");
    const DWORD refusedPacket = createAc("No Such Livery", "BAW9");
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    // The scan of aircraft in range finds the new object by its ATC id.
    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 20 * 1852 + 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    ASSERT_TRUE(sim().frame()) << sim().lastError();
    p.stop();  // the hook's state is about to go out of scope
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].second, "DLH123");
    EXPECT_EQ(placed[0].first, 1001u);
    EXPECT_EQ(refusedPackets, std::vector<DWORD>{refusedPacket});
    EXPECT_EQ(sim().objects().size(), 1u);
}
