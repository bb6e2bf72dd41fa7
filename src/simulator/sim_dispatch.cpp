// The dispatch of received SimConnect records and their handlers: simulator recognition, system
// events, object announcements, data replies (new objects are matched to their pending creation
// by ATC id), exceptions and the frame event. SimConnect thread only, inside
// SimConnect_CallDispatch; exceptions thrown here end the thread (sim_client.cpp).
//
// Received records are not trusted: each is read only as far as the size the dispatch was given,
// and texts only within their fields.
#include "simulator/sim_client.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "frame/exit_request.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "simulator/command_queues.h"
#include "simulator/sim_events.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"
#include "win32/win_api.h"

extern std::atomic<bool> g_simQuit;

namespace {

constexpr std::uint32_t kMaxStaticHexid = 10000;
constexpr std::size_t kDataOffset = 40;  // start of the data block (dwData)
// Aircraft in range up to this height above the ground (ft) have their ground data posted: only
// those near the ground need the ground's altitude.
constexpr double kGroundDataHeightFt = 2500.0;
// The simulator's frame rate is published every this many frames.
constexpr std::uint32_t kFrameRateFrames = 30;

// The record as type T when the buffer holds all of it, else nullptr.
template <typename T>
const T* lf_as(const SIMCONNECT_RECV* data, DWORD size)
{
    if (size < sizeof(T) || data->dwSize < sizeof(T))
        return nullptr;
    return static_cast<const T*>(data);
}

std::string lf_fieldText(const char* field, std::size_t fieldSize)
{
    return std::string(field, strnlen(field, fieldSize));
}

bool lf_isAircraftType(DWORD type)
{
    return type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT || type == SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER;
}

template <typename T, typename Pred>
bool lf_takeFirst(std::vector<T>& v, Pred pred, T& out)
{
    const auto it = std::find_if(v.begin(), v.end(), pred);
    if (it == v.end())
        return false;
    out = std::move(*it);
    if (it + 1 != v.end())
        *it = std::move(v.back());
    v.pop_back();
    return true;
}

void lf_onSimOpen(const SIMCONNECT_RECV_OPEN& open)
{
    const std::string name = lf_fieldText(open.szApplicationName, sizeof open.szApplicationName);
    if (name.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    g_simConnectedIndicator = true;
    InvalidateRect(g_hWnd, nullptr, TRUE);
    std::string filtered;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && (std::isalnum(u) || std::isspace(u)))
            filtered += c;
    }
    const bool is2020 = g_simIs2020.load();
    std::string simName;
    if (filtered == "KittyHawk") {
        if (!is2020)
            throw tvx::UserErrorException(71, lf_wrongSimMessage());
        simName = "MSFS 2020";
    } else if (filtered == "SunRise") {
        if (is2020)
            throw tvx::UserErrorException(71, lf_wrongSimMessage());
        simName = "MSFS 2024";
    } else {
        throw tvx::UserErrorException(
            77, tvx::format("\"{}\" not being MSFS 2020 or MSFS 2024 connects ... ? ", filtered));
    }
    const std::string text =
        is2020 ? tvx::format("{} ({}.{}.{}.{})", simName, open.dwApplicationVersionMajor,
                             open.dwApplicationVersionMinor, open.dwApplicationBuildMajor,
                             open.dwApplicationBuildMinor)
               : simName;
    gf_log("{} connected", text);
    lf_setSimulatorText(text);
    gf_clearStatusLine();
}

// A creation that did not happen and cannot be charged to its livery.
void lf_postCreationFailed(std::uint32_t hexid)
{
    gf_postSimEvent(SimEvent{0, hexid, 0, SIM_EVENT_CREATION_FAILED, 0.0, 0.0});
}

void lf_onCreateRefused(DWORD sendId, bool tooMany)
{
    PendingCreation found;
    auto byPacket = [&](const PendingCreation& p) { return p.packetId == sendId; };
    // A send id that names no pending creation matches nothing: a creation whose packet id could
    // not be read may still bring its object, and taking it here would orphan that object.
    if (sendId == 0 || !lf_takeFirst(g_pendingCreations, byPacket, found))
        return;
    if (tooMany)
        lf_postCreationFailed(found.hexid);
    else
        gf_postSimEvent(SimEvent{0, found.hexid, 0, SIM_EVENT_CREATION_REFUSED, 0.0, 0.0});
}

void lf_onSimException(const SIMCONNECT_RECV_EXCEPTION& e)
{
    switch (e.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
        const UserAcState user = gf_userAc();
        if (!gf_isNoFlightPosition(user.latitude, user.longitude))
            gf_logError("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        break;
    }
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw tvx::UserErrorException(95,
                                      tvx::format("Simconnect Version Mismatch, dwindex: {} ", e.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
        gf_setStatusLine("SimConnect: too many objects (max 1000)", true);
        lf_onCreateRefused(e.dwSendID, true);
        break;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        gf_log("SIMCON EXCEP 19");
        break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED:
        lf_onCreateRefused(e.dwSendID, false);
        break;
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logError("Simconnect Exception: load flight plan failed");
        break;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_log("SIMCON EXCEP 24");
        break;
    default:
        gf_logError("SIMCON EXCEP {}", e.dwException);
        break;
    }
}

void lf_onSimEvent(const SIMCONNECT_RECV_EVENT& event)
{
    if (event.uEventID == simid::EVENT_SIM) {
        const bool running = event.dwData == 1;
        g_flightRunning = running;
        gf_updatePainted([running](PaintedValues& v) { v.flightIndicator = running; });
    } else if (event.uEventID == simid::EVENT_FLIGHT_LOADED) {
        gf_logError("Flight loaded");
        lf_checkUserStand();
        gf_exit(ExitReason::RESTART, kNewSceneRestartSeconds);
    }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& event)
{
    if (!lf_isAircraftType(event.eObjType))
        return;
    const std::uint32_t objectId = event.dwData;
    if (event.uEventID == simid::EVENT_OBJECT_ADDED) {
        if (objectId > g_minObjectId.load())
            g_addedObjectIds.push_back(objectId);
    } else if (event.uEventID == simid::EVENT_OBJECT_REMOVED) {
        std::erase(g_addedObjectIds, objectId);
        gf_postSimEvent(SimEvent{objectId, 0, 0, SIM_EVENT_OBJECT_REMOVED, 0.0, 0.0});
    }
}

void lf_onSimObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size)
{
    switch (data.dwRequestID) {
    case simid::REQ_STATIC_GROUND: {
        StaticGroundData ground;
        if (size < kDataOffset + sizeof ground)
            return;
        std::memcpy(&ground, &data.dwData, sizeof ground);
        gf_postSimEvent(SimEvent{data.dwObjectID, 0, 0, SIM_EVENT_STATIC_GROUND,
                                 ground.staticCgHeight, ground.staticPitch});
        break;
    }
    case simid::REQ_USER_TITLE:
        lf_onUserAcTitle(data);
        break;
    case simid::REQ_USER_MODEL:
        lf_onUserAcModel(data);
        break;
    case simid::REQ_USER_ON_GROUND:
        lf_onUserAcOnGround(data);
        break;
    case simid::REQ_USER_STATE:
        lf_onUserAcState(data);
        break;
    default:
        break;
    }
}

void lf_onSimObjectDataByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size)
{
    if (data.dwRequestID != simid::REQ_AC_IN_RANGE || data.dwObjectID <= g_minObjectId.load())
        return;
    AcInRangeData ac;
    if (size < kDataOffset + sizeof ac)
        return;
    std::memcpy(&ac, &data.dwData, sizeof ac);
    const std::string atcId = lf_fieldText(ac.atcId, sizeof ac.atcId);
    const std::uint32_t objectId = data.dwObjectID;

    const auto announced = std::find(g_addedObjectIds.begin(), g_addedObjectIds.end(), objectId);
    if (announced != g_addedObjectIds.end()) {
        *announced = g_addedObjectIds.back();
        g_addedObjectIds.pop_back();
        PendingCreation pending;
        const bool found =
            !atcId.empty() &&
            lf_takeFirst(g_pendingCreations,
                         [&](const PendingCreation& p) { return p.callsign == atcId; }, pending);
        if (found) {
            lf_releaseAndFreeze(objectId);
            const bool isStatic = pending.hexid <= kMaxStaticHexid;
            gf_postSimEvent(SimEvent{objectId, pending.hexid, 0,
                                     isStatic ? SIM_EVENT_STATIC_OBJECT : SIM_EVENT_LIVE_OBJECT, 0.0,
                                     isStatic ? 0.0 : ac.altAboveGround});
        } else {
            gf_setStatusLine(
                tvx::format("just spawned, but not by {}, oid: {}, callsign \"{}\", altaboveGnd:{:.0f} "
                            "ft, onground:{}, gnd_alt:{:.0f} ft ",
                            g_productName, objectId, atcId, ac.altAboveGround, ac.onGround ? 1 : 0,
                            ac.groundAltitude),
                true);
        }
        return;
    }
    if (ac.altAboveGround <= kGroundDataHeightFt && (atcId.empty() || atcId.back() != '*'))
        gf_postSimEvent(SimEvent{objectId, ac.onGround ? 1u : 0u, 0, SIM_EVENT_GROUND_DATA,
                                 ac.groundAltitude, ac.altAboveGround});
}

}  // namespace

std::string lf_wrongSimMessage()
{
    return tvx::format("MSFS 20{} is running ..., switch Sim or toggle the Install path checkbox of {}",
                       g_simIs2020.load() ? "24" : "20", g_productName);
}

void lf_onSimFrame(const SIMCONNECT_RECV_EVENT_FRAME& frame)
{
    lf_flushSimQueues();
    if (++g_frameCount >= kFrameRateFrames) {
        g_frameCount = 0;
        g_frameRate = frame.fFrameRate;
    }
}

void CALLBACK lf_simConnectDispatch(SIMCONNECT_RECV* data, DWORD size, void* /*context*/)
{
    if (data == nullptr || size < sizeof(SIMCONNECT_RECV))
        return;
    if (data->dwSize > size) {
        // A record that claims more bytes than were delivered is not read at all.
        gf_logError("! SimConnect record {} of {} bytes in a buffer of {}", data->dwID, data->dwSize, size);
        return;
    }
    switch (data->dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        if (const auto* e = lf_as<SIMCONNECT_RECV_EXCEPTION>(data, size))
            lf_onSimException(*e);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        if (const auto* open = lf_as<SIMCONNECT_RECV_OPEN>(data, size))
            lf_onSimOpen(*open);
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        g_flightRunning = false;
        g_simQuit = true;  // the dispatch loop closes and ends the program
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        if (const auto* event = lf_as<SIMCONNECT_RECV_EVENT>(data, size))
            lf_onSimEvent(*event);
        break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        if (const auto* event = lf_as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(data, size))
            lf_onObjectAddRemove(*event);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        gf_logError("New file loaded");
        lf_checkUserStand();
        gf_exit(ExitReason::RESTART, kNewSceneRestartSeconds);
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        if (const auto* frame = lf_as<SIMCONNECT_RECV_EVENT_FRAME>(data, size))
            lf_onSimFrame(*frame);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        if (const auto* d = lf_as<SIMCONNECT_RECV_SIMOBJECT_DATA>(data, size))
            lf_onSimObjectData(*d, std::min<DWORD>(size, d->dwSize));
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        if (const auto* d = lf_as<SIMCONNECT_RECV_SIMOBJECT_DATA>(data, size))
            lf_onSimObjectDataByType(*d, std::min<DWORD>(size, d->dwSize));
        break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
    case SIMCONNECT_RECV_ID_PICK:
        break;
    default:
        gf_log("! Unknown Dispatch dwID {}", data->dwID);
        break;
    }
}
