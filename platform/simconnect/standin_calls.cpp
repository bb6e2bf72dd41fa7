// The SimConnect entry points that act on the world, answered by the stand-in: validation with
// exceptions keyed by packet id, registrations learned from the client, data requests, writes,
// client events and the deferred AI operations. Open, Close and CallDispatch are in
// standin_connection.cpp.
//
// Called on any of the program's threads; each entry takes World::mutex for its whole run.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include <fmt/format.h>

#include "simconnect/SimConnect.h"
#include "simconnect/standin_world.h"

using namespace simstandin;

namespace {

// Resolves object 0 to the user; 0 when the id names nothing.
std::uint32_t lf_resolve(const World& w, std::uint32_t objectId)
{
    if (w.isUser(objectId))
        return w.cfg.userObjectId;
    return w.objects.count(objectId) ? objectId : 0;
}

// An AI command, write or client event may only target the caller's own objects.
bool lf_ownTarget(World& w, const Connection& c, std::uint32_t objectId, const char* what)
{
    if (w.isUser(objectId)) {
        w.violation(fmt::format("{} aimed at the user aircraft", what));
        return false;
    }
    const Object& o = w.objects.at(objectId);
    if (o.owner != c.id) {
        w.violation(fmt::format("{} aimed at foreign object {}", what, objectId));
        return false;
    }
    return true;
}

std::string lf_tagValue(const std::string& text, const std::string& tag)
{
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    const auto a = text.find(open);
    if (a == std::string::npos)
        return {};
    const auto b = text.find(close, a + open.size());
    if (b == std::string::npos)
        return {};
    return text.substr(a + open.size(), b - a - open.size());
}

void lf_applyEvent(World& w, Object& o, SimEvent e, DWORD data)
{
    const bool on = data != 0;
    switch (e) {
    case SimEvent::NavLights: o.lights.nav = on; break;
    case SimEvent::BeaconLights: o.lights.beacon = on; break;
    case SimEvent::LandingLights: o.lights.landing = on; break;
    case SimEvent::TaxiLights: o.lights.taxi = on; break;
    case SimEvent::LogoLights: o.lights.logo = on; break;
    case SimEvent::CabinLights: o.lights.cabin = on; break;
    case SimEvent::Strobes: o.lights.strobes = on; break;
    case SimEvent::AllLightsToggle: {
        Lights& l = o.lights;
        for (bool* b : {&l.nav, &l.beacon, &l.landing, &l.taxi, &l.strobes, &l.logo, &l.cabin})
            *b = !*b;
        ++o.toggles;
        break;
    }
    case SimEvent::FreezeLatLon: o.freezeLatLon = on; break;
    case SimEvent::FreezeAltitude: o.freezeAlt = on; break;
    case SimEvent::FreezeAttitude: o.freezeAtt = on; break;
    case SimEvent::Flaps: o.flaps = data; break;
    case SimEvent::Spoilers: o.spoilers = data; break;
    case SimEvent::Throttle: o.throttle = data; break;
    case SimEvent::Gear: o.gearDown = on; break;
    case SimEvent::EngineAutoStart: o.enginesRunning = true; break;
    case SimEvent::EngineAutoShutdown: o.enginesRunning = false; break;
    }
    if ((e == SimEvent::Flaps || e == SimEvent::Spoilers || e == SimEvent::Throttle) && data > 16383)
        w.violation(fmt::format("event data {} outside 0..16383 for object {}", data, o.id));
}

// Checks and records one position write (a definition holding latitude and longitude).
void lf_monitorPosition(World& w, Object& o, double beforeLat, double beforeLon)
{
    constexpr double kTwoPi = 2 * std::numbers::pi;
    if (!o.released || !o.freezeLatLon || !o.freezeAlt || !o.freezeAtt)
        w.violation(fmt::format("position write to object {} before it was released and frozen "
                                "(released {}, freezes {}{}{})",
                                o.id, o.released, o.freezeLatLon, o.freezeAlt, o.freezeAtt));
    if (std::fabs(o.lat) > 90 || std::fabs(o.lon) > 180)
        w.violation(fmt::format("position of object {} out of range: lat {}, lon {}", o.id, o.lat, o.lon));
    if (o.heading < 0 || o.heading > kTwoPi + 1e-9)
        w.violation(fmt::format("heading {} rad of object {} outside [0, 2pi]", o.heading, o.id));
    if (std::fabs(o.pitch) > std::numbers::pi / 2 || std::fabs(o.bank) > std::numbers::pi / 2)
        w.violation(fmt::format("attitude of object {} beyond pi/2: pitch {}, bank {}", o.id, o.pitch, o.bank));
    if (o.positionWrites > 0) {
        const double jump = gf_distanceNm(beforeLat, beforeLon, o.lat, o.lon);
        if (jump > 2.0)
            w.warning(fmt::format("object {} jumped {:.2f} NM between two position writes", o.id, jump));
    }
    const double ground = w.terrainAt(o.lat, o.lon);
    if (o.alt < ground - 50 || o.alt > 60000)
        w.warning(fmt::format("object {} at {:.0f} ft (terrain {:.0f} ft)", o.id, o.alt, ground));
    ++o.positionWrites;
    PositionRec rec{w.frame, o.id, o.lat, o.lon, o.pitch, o.bank, o.heading, o.alt, o.vs, o.tas};
    gf_pushRing(o.positions, w.cfg.positionRing, rec);
    w.logPosition(rec);
    if (++w.positionWriteCount % 10 == 0) {
        gf_pushRing(w.sampledPositions, w.cfg.sampleRing, rec);
        ++w.sampledCount;
    }
}

}  // namespace

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}", EventID, gf_callText(SystemEventName));
    Connection* c = gf_connection(w, hSimConnect, Call::SubscribeToSystemEvent, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::SubscribeToSystemEvent, std::move(args));
    if (!SystemEventName || !*SystemEventName) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 2);
        return S_OK;
    }
    const std::string name = gf_upper(SystemEventName);
    c->subscriptions[EventID] = name;
    if (name == "SIM" && w.cfg.simStateOnSubscribe)
        w.push(*c, w.makeEvent(EventID, w.flightRunning ? 1 : 0));
    return S_OK;
}

HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}", EventID);
    Connection* c = gf_connection(w, hSimConnect, Call::UnsubscribeFromSystemEvent, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::UnsubscribeFromSystemEvent, std::move(args));
    if (!c->subscriptions.erase(EventID))
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
    return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName, SIMCONNECT_DATATYPE DatumType,
                                       float, DWORD)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}, {}, type {}", DefineID, gf_callText(DatumName),
                                         UnitsName ? UnitsName : "(none)", static_cast<DWORD>(DatumType));
    Connection* c = gf_connection(w, hSimConnect, Call::AddToDataDefinition, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AddToDataDefinition, std::move(args));
    const auto var = DatumName ? gf_findVariable(DatumName) : std::nullopt;
    if (!var) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 2);
        return S_OK;
    }
    const bool text = var->dim == Dim::Text;
    if ((text && !gf_isStringType(DatumType)) || (!text && !gf_isNumericType(DatumType))) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_ERROR, packet, 4);
        return S_OK;
    }
    const auto factor = gf_unitFactor(var->dim, UnitsName);
    if (!factor) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 3);
        return S_OK;
    }
    Datum d;
    d.name = DatumName;
    d.unit = UnitsName ? UnitsName : "";
    d.type = DatumType;
    d.var = *var;
    d.factor = *factor;
    d.size = gf_typeSize(DatumType);
    c->definitions[DefineID].datums.push_back(std::move(d));
    return S_OK;
}

HRESULT SimConnect_ClearDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}", DefineID);
    Connection* c = gf_connection(w, hSimConnect, Call::ClearDataDefinition, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::ClearDataDefinition, std::move(args));
    if (!c->definitions.erase(DefineID)) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    std::erase_if(c->periodic, [&](const Periodic& p) { return p.defineId == DefineID; });
    return S_OK;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}", EventID, gf_callText(EventName));
    Connection* c = gf_connection(w, hSimConnect, Call::MapClientEventToSimEvent, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::MapClientEventToSimEvent, std::move(args));
    const std::string name = EventName ? gf_upper(EventName) : std::string();
    if (!name.empty() && !gf_findSimEvent(name)) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 2);
        return S_OK;
    }
    c->eventMap[EventID] = name;  // an empty name is a private client event without effect
    return S_OK;
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}, maskable {}", GroupID, EventID, bMaskable);
    Connection* c = gf_connection(w, hSimConnect, Call::AddClientEventToNotificationGroup, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AddClientEventToNotificationGroup, std::move(args));
    if (!c->eventMap.count(EventID)) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return S_OK;
    }
    auto& members = c->groups[GroupID].members;
    if (std::find(members.begin(), members.end(), EventID) == members.end())
        members.push_back(EventID);
    return S_OK;
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}", GroupID, uPriority);
    Connection* c = gf_connection(w, hSimConnect, Call::SetNotificationGroupPriority, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::SetNotificationGroupPriority, std::move(args));
    auto g = c->groups.find(GroupID);
    if (g == c->groups.end()) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    g->second.priority = uPriority;
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD, DWORD,
                                          DWORD)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}, {}, period {}, flags {}", RequestID, DefineID, ObjectID,
                                         static_cast<DWORD>(Period), Flags);
    Connection* c = gf_connection(w, hSimConnect, Call::RequestDataOnSimObject, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::RequestDataOnSimObject, std::move(args));
    if (Flags != 0)
        w.violation(fmt::format("RequestDataOnSimObject {} with flags {}", RequestID, Flags));
    auto def = c->definitions.find(DefineID);
    if (def == c->definitions.end()) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return S_OK;
    }
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 3);
        return S_OK;
    }
    std::erase_if(c->periodic, [&](const Periodic& p) { return p.requestId == RequestID; });
    switch (Period) {
    case SIMCONNECT_PERIOD_NEVER:
        break;
    case SIMCONNECT_PERIOD_ONCE:
        w.push(*c, w.makeData(def->second, RequestID, DefineID, ObjectID == 0 ? 0 : target, false, 1, 1));
        break;
    case SIMCONNECT_PERIOD_VISUAL_FRAME:
    case SIMCONNECT_PERIOD_SIM_FRAME:
    case SIMCONNECT_PERIOD_SECOND:
        c->periodic.push_back(Periodic{RequestID, DefineID, ObjectID == 0 ? 0 : target, Period, w.simSeconds()});
        break;
    default:
        w.queueException(*c, SIMCONNECT_EXCEPTION_ERROR, packet, 4);
        break;
    }
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}, radius {}, type {}", RequestID, DefineID, dwRadiusMeters,
                                         static_cast<DWORD>(type));
    Connection* c = gf_connection(w, hSimConnect, Call::RequestDataOnSimObjectType, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::RequestDataOnSimObjectType, std::move(args));
    auto def = c->definitions.find(DefineID);
    if (def == c->definitions.end()) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return S_OK;
    }
    if (dwRadiusMeters > 200000) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_ERROR, packet, 3);
        return S_OK;
    }
    std::vector<std::uint32_t> found;
    const bool userMatches = type == SIMCONNECT_SIMOBJECT_TYPE_USER || type == SIMCONNECT_SIMOBJECT_TYPE_ALL ||
                             type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    if (userMatches)
        found.push_back(w.cfg.userObjectId);
    if (type != SIMCONNECT_SIMOBJECT_TYPE_USER && dwRadiusMeters > 0) {
        const Geo u = w.userPos();
        for (const auto& [id, o] : w.objects) {
            const bool typeMatches = type == SIMCONNECT_SIMOBJECT_TYPE_ALL ||
                                     static_cast<DWORD>(o.type) == static_cast<DWORD>(type);
            if (typeMatches && gf_distanceNm(u.latDeg, u.lonDeg, o.lat, o.lon) * 1852.0 <= dwRadiusMeters)
                found.push_back(id);
        }
    }
    std::sort(found.begin(), found.end());
    if (w.cfg.byTypeDescending)
        std::reverse(found.begin(), found.end());
    if (found.empty()) {
        if (w.cfg.emptyByTypeRecord)
            w.push(*c, w.makeData(def->second, RequestID, DefineID, 0, true, 0, 0));
        return S_OK;
    }
    const auto outOf = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t i = 0; i < outOf; ++i)
        w.push(*c, w.makeData(def->second, RequestID, DefineID, found[i], true, i + 1, outOf));
    return S_OK;
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    CallArgs args = CallArgs::setData(DefineID, ObjectID, Flags, ArrayCount, cbUnitSize);
    Connection* c = gf_connection(w, hSimConnect, Call::SetDataOnSimObject, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::SetDataOnSimObject, std::move(args));
    auto defIt = c->definitions.find(DefineID);
    if (defIt == c->definitions.end()) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return S_OK;
    }
    if (ArrayCount > 1)
        w.violation(fmt::format("SetDataOnSimObject {} to object {} with array count {}", DefineID, ObjectID,
                                ArrayCount));
    const Definition& def = defIt->second;
    if (def.variable() || cbUnitSize != def.fixedSize()) {
        w.violation(fmt::format("data size mismatch: SetDataOnSimObject {} with unit size {}, definition holds {}",
                                DefineID, cbUnitSize, def.fixedSize()));
        w.queueException(*c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packet, 5);
        return S_OK;
    }
    if (!pDataSet) {
        w.violation(fmt::format("SetDataOnSimObject {} without data", DefineID));
        return S_OK;
    }
    if (!lf_ownTarget(w, *c, target, "SetDataOnSimObject"))
        return S_OK;
    const auto* bytes = static_cast<const unsigned char*>(pDataSet);
    gf_pushRing(w.writes, w.cfg.writeRing,
                World::DataWrite{DefineID, target,
                                 {reinterpret_cast<const std::byte*>(bytes),
                                  reinterpret_cast<const std::byte*>(bytes) + cbUnitSize}});
    std::vector<double> values;
    values.reserve(def.datums.size());
    std::size_t offset = 0;
    for (const auto& d : def.datums) {
        if (d.var.dim == Dim::Text) {
            offset += d.size;
            values.push_back(0);
            continue;
        }
        const double v = gf_unpackNumber(bytes, offset, d.type);
        if (!std::isfinite(v)) {
            w.violation(fmt::format("NaN or inf in {} written to object {}", d.name, target));
            return S_OK;
        }
        values.push_back(v / d.factor);
    }
    Object& o = w.objects.at(target);
    // Only the position before the write is compared with (no copy of the object and its history).
    const double beforeLat = o.lat, beforeLon = o.lon;
    bool position = false, lat = false, lon = false;
    for (std::size_t i = 0; i < def.datums.size(); ++i) {
        const Datum& d = def.datums[i];
        if (!d.var.settable) {
            w.warning(fmt::format("{} is not settable (definition {})", d.name, DefineID));
            continue;
        }
        const double v = values[i];
        switch (d.var.var) {
        case Var::Latitude: o.lat = v; lat = true; break;
        case Var::Longitude: o.lon = v; lon = true; break;
        case Var::Pitch: o.pitch = v; break;
        case Var::Bank: o.bank = v; break;
        case Var::Heading: o.heading = v; break;
        case Var::Altitude: o.alt = v; break;
        case Var::VerticalSpeed: o.vs = v; break;
        case Var::AirspeedTrue: o.tas = v; break;
        case Var::SpoilersHandle: o.spoilerHandlePct = v; break;
        case Var::Throttle1: o.throttle1Pct = v; break;
        case Var::Throttle2: o.throttle2Pct = v; break;
        default: break;
        }
    }
    position = lat && lon;
    if (position)
        lf_monitorPosition(w, o, beforeLat, beforeLon);
    return S_OK;
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, {}, data {}, group {}, flags {}", ObjectID, EventID, dwData, GroupID,
                                         Flags);
    Connection* c = gf_connection(w, hSimConnect, Call::TransmitClientEvent, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::TransmitClientEvent, std::move(args));
    auto mapped = c->eventMap.find(EventID);
    if (mapped == c->eventMap.end()) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return S_OK;
    }
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    if (!lf_ownTarget(w, *c, target, "TransmitClientEvent"))
        return S_OK;
    bool inGroup = false;
    if (auto g = c->groups.find(GroupID); g != c->groups.end())
        inGroup = std::find(g->second.members.begin(), g->second.members.end(), EventID) != g->second.members.end();
    if (auto e = gf_findSimEvent(mapped->second))
        lf_applyEvent(w, w.objects.at(target), *e, dwData);
    gf_pushRing(w.events, w.cfg.recordRing,
                EventRec{w.frame, packet, target, EventID, dwData, GroupID, mapped->second, inGroup});
    return S_OK;
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos, SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("\"{}\", \"{}\", {:.6f},{:.6f} alt {:.1f} pbh {:.2f},{:.2f},{:.2f} gnd {} "
                                         "kt {}, req {}",
                                         gf_callText(szContainerTitle), gf_callText(szTailNumber), InitPos.Latitude,
                                         InitPos.Longitude, InitPos.Altitude, InitPos.Pitch, InitPos.Bank,
                                         InitPos.Heading, InitPos.OnGround, InitPos.Airspeed, RequestID);
    Connection* c = gf_connection(w, hSimConnect, Call::AICreateNonATCAircraft, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AICreateNonATCAircraft, std::move(args));
    CreationRec rec;
    rec.frame = w.frame;
    rec.packet = packet;
    rec.requestId = RequestID;
    rec.title = szContainerTitle ? szContainerTitle : "";
    rec.tail = szTailNumber ? szTailNumber : "";
    rec.init = InitPos;
    if (rec.tail.empty() || rec.tail.size() > 12)
        w.violation(fmt::format("tail number \"{}\" is empty or longer than 12 characters", rec.tail));
    for (double v : {InitPos.Latitude, InitPos.Longitude, InitPos.Altitude, InitPos.Pitch, InitPos.Bank,
                     InitPos.Heading})
        if (!std::isfinite(v)) {
            w.violation(fmt::format("NaN or inf in the initial position of \"{}\"", rec.tail));
            break;
        }
    if (std::fabs(InitPos.Latitude) > 90 || std::fabs(InitPos.Longitude) > 180)
        w.violation(fmt::format("initial position of \"{}\" out of range: lat {}, lon {}", rec.tail,
                                InitPos.Latitude, InitPos.Longitude));
    w.creationsDropped += gf_pushRing(w.creations, w.cfg.recordRing, std::move(rec));
    Deferred d;
    d.kind = Deferred::Create;
    d.dueFrame = w.frame + static_cast<std::uint64_t>(std::max(0, w.cfg.creationDelayFrames));
    d.packet = packet;
    d.requestId = RequestID;
    d.creationIndex = w.creationsDropped + w.creations.size() - 1;
    if (w.cfg.creationDelayFrames <= 0)
        w.matureCreation(*c, d);
    else
        c->deferred.push_back(d);
    return S_OK;
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, req {}", ObjectID, RequestID);
    Connection* c = gf_connection(w, hSimConnect, Call::AIRemoveObject, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AIRemoveObject, std::move(args));
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        gf_pushRing(w.removals, w.cfg.recordRing,
                    RemovalRec{w.frame, packet, ObjectID, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID});
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    if (!lf_ownTarget(w, *c, target, "AIRemoveObject")) {
        gf_pushRing(w.removals, w.cfg.recordRing,
                    RemovalRec{w.frame, packet, ObjectID, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE});
        w.queueException(*c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, packet, 1);
        return S_OK;
    }
    Deferred d;
    d.kind = Deferred::Remove;
    d.dueFrame = w.frame + static_cast<std::uint64_t>(std::max(0, w.cfg.removalDelayFrames));
    d.packet = packet;
    d.requestId = RequestID;
    d.objectId = target;
    if (w.cfg.removalDelayFrames <= 0)
        w.matureRemoval(*c, d);
    else
        c->deferred.push_back(d);
    return S_OK;
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, req {}", ObjectID, RequestID);
    Connection* c = gf_connection(w, hSimConnect, Call::AIReleaseControl, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AIReleaseControl, std::move(args));
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    if (!lf_ownTarget(w, *c, target, "AIReleaseControl")) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, packet, 1);
        return S_OK;
    }
    Object& o = w.objects.at(target);
    o.released = true;
    ++o.releases;
    return S_OK;
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath, SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    std::string args = fmt::format("{}, \"{}\", req {}", ObjectID, gf_callText(szFlightPlanPath), RequestID);
    Connection* c = gf_connection(w, hSimConnect, Call::AISetAircraftFlightPlan, args);
    if (!c)
        return E_FAIL;
    const std::uint32_t packet = gf_succeed(w, *c, Call::AISetAircraftFlightPlan, std::move(args));
    const std::uint32_t target = lf_resolve(w, ObjectID);
    if (target == 0) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return S_OK;
    }
    if (!lf_ownTarget(w, *c, target, "AISetAircraftFlightPlan")) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, packet, 1);
        return S_OK;
    }
    std::string path = szFlightPlanPath ? szFlightPlanPath : "";
    // The program passes Windows-style paths; the file system here wants '/'.
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    const auto slash = native.find_last_of('/');
    if (native.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        native += ".pln";
    std::ifstream in(native, std::ios::binary);
    std::stringstream text;
    if (in)
        text << in.rdbuf();
    const std::string plan = text.str();
    const bool isPlan = in && plan.find("SimBase.Document") != std::string::npos &&
                        plan.find("FlightPlan.FlightPlan") != std::string::npos &&
                        plan.find("DepartureID") != std::string::npos &&
                        plan.find("DestinationID") != std::string::npos;
    if (!isPlan || w.failPlans) {
        w.queueException(*c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, packet, 2);
        return S_OK;
    }
    w.objects.at(target).plan = PlanView{path, plan, lf_tagValue(plan, "FPType"), lf_tagValue(plan, "DepartureID"),
                                         lf_tagValue(plan, "DestinationID")};
    return S_OK;
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError)
{
    World& w = gf_world();
    const CpuMeter meter(w);
    std::lock_guard lock(w.mutex);
    Connection* c = gf_connection(w, hSimConnect, Call::GetLastSentPacketID, "");
    if (!c)
        return E_FAIL;
    if (!pdwError) {
        w.logCall(c->id, Call::GetLastSentPacketID, "(null)", E_FAIL, 0);
        return E_FAIL;
    }
    *pdwError = c->packet;
    w.logCall(c->id, Call::GetLastSentPacketID, fmt::format("-> {}", c->packet), S_OK, 0);
    return S_OK;
}

#endif  // TAVIX_SIM_SDK
