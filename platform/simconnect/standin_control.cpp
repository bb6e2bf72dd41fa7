// The stand-in simulator's control API (standin_sim.h): world changes driven by tests and the demo,
// scripted failures and injections, lockstep stepping and the observation copies.
//
// Any thread; every member takes World::mutex. frame() and deliver() wait on the world's condition
// variable (releasing the mutex) for the dispatchers' acknowledgements, bounded by
// Config::lockstepTimeout.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include "simconnect/standin_sim.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "simconnect/standin_world.h"

namespace simstandin {

namespace {

ObjectView lf_view(const World& w, const Object& o)
{
    ObjectView v;
    v.id = o.id;
    v.own = o.owner != 0;
    v.type = o.type;
    v.title = o.title;
    v.atcId = o.atcId;
    v.pos = Geo{o.lat, o.lon, o.alt};
    v.pitchRad = o.pitch;
    v.bankRad = o.bank;
    v.headingRad = o.heading;
    v.vsFtPerSec = o.vs;
    v.tasKt = o.tas;
    v.onGround = w.objectOnGround(o);
    v.released = o.released;
    v.freezeLatLon = o.freezeLatLon;
    v.freezeAlt = o.freezeAlt;
    v.freezeAtt = o.freezeAtt;
    v.releases = o.releases;
    v.lights = o.lights;
    v.toggles = o.toggles;
    v.flaps = o.flaps;
    v.spoilers = o.spoilers;
    v.throttle = o.throttle;
    v.gearDown = o.gearDown;
    v.enginesRunning = o.enginesRunning;
    v.spoilerHandlePct = o.spoilerHandlePct;
    v.throttle1Pct = o.throttle1Pct;
    v.throttle2Pct = o.throttle2Pct;
    v.plan = o.plan;
    v.createdFrame = o.createdFrame;
    v.createPacket = o.createPacket;
    v.positionWrites = o.positionWrites;
    return v;
}

const Connection* lf_newest(const World& w)
{
    auto it = w.connections.find(w.newestConnection);
    return it == w.connections.end() ? nullptr : &it->second;
}

}  // namespace

const char* callName(Call call)
{
    switch (call) {
    case Call::Open: return "Open";
    case Call::Close: return "Close";
    case Call::CallDispatch: return "CallDispatch";
    case Call::SubscribeToSystemEvent: return "SubscribeToSystemEvent";
    case Call::UnsubscribeFromSystemEvent: return "UnsubscribeFromSystemEvent";
    case Call::AddToDataDefinition: return "AddToDataDefinition";
    case Call::ClearDataDefinition: return "ClearDataDefinition";
    case Call::MapClientEventToSimEvent: return "MapClientEventToSimEvent";
    case Call::AddClientEventToNotificationGroup: return "AddClientEventToNotificationGroup";
    case Call::SetNotificationGroupPriority: return "SetNotificationGroupPriority";
    case Call::RequestDataOnSimObject: return "RequestDataOnSimObject";
    case Call::RequestDataOnSimObjectType: return "RequestDataOnSimObjectType";
    case Call::SetDataOnSimObject: return "SetDataOnSimObject";
    case Call::TransmitClientEvent: return "TransmitClientEvent";
    case Call::AICreateNonATCAircraft: return "AICreateNonATCAircraft";
    case Call::AIRemoveObject: return "AIRemoveObject";
    case Call::AIReleaseControl: return "AIReleaseControl";
    case Call::AISetAircraftFlightPlan: return "AISetAircraftFlightPlan";
    case Call::GetLastSentPacketID: return "GetLastSentPacketID";
    }
    return "?";
}

Sim& sim()
{
    static Sim s;
    return s;
}

// ---- set-up and time -----------------------------------------------------------------------------

void Sim::reset(const Config& config)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.resetLocked(config);
}

Config Sim::config() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.cfg;
}

bool Sim::frame(int n)
{
    World& w = gf_world();
    std::unique_lock lock(w.mutex);
    w.ensureConfigured();
    bool ok = true;
    for (int i = 0; i < n; ++i) {
        w.advanceFrame();
        if (w.cfg.mode == Mode::Lockstep && !w.grantAndWait(lock))
            ok = false;
    }
    return ok;
}

bool Sim::deliver()
{
    World& w = gf_world();
    std::unique_lock lock(w.mutex);
    w.ensureConfigured();
    return w.grantAndWait(lock);
}

bool Sim::waitForDispatcher(std::chrono::milliseconds timeout)
{
    World& w = gf_world();
    std::unique_lock lock(w.mutex);
    const bool ok = w.cv.wait_for(lock, timeout, [&] {
        for (const auto& [id, c] : w.connections)
            if (c.state == Connection::Open && w.dispatcherAlive(c))
                return true;
        return false;
    });
    if (!ok)
        w.lastError = fmt::format("no dispatcher polled SimConnect_CallDispatch within {} ms", timeout.count());
    return ok;
}

void Sim::advance(int n)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.ensureConfigured();
    for (int i = 0; i < n; ++i)
        w.advanceFrame();
}

std::uint64_t Sim::frameCount() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.frame;
}

double Sim::simSeconds() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.simSeconds();
}

std::string Sim::lastError() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.lastError;
}

// ---- simulator and flight ------------------------------------------------------------------------

void Sim::setSimUp(bool up)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.simUp = up;
}

void Sim::failNextOpens(int n)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.opensToFail = n;
}

void Sim::setApplication(std::string name, std::array<std::uint32_t, 4> version)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.cfg.appName = std::move(name);
    w.cfg.appVersion = version;
}

void Sim::armVersionMismatch(std::uint32_t index)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.versionMismatchIndex = index;
}

void Sim::startFlight()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.flightStartsAt.reset();
    w.flightRunning = true;
    w.userPathStart = w.simSeconds();
    w.sendSimState();
}

void Sim::endFlight()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.flightRunning = false;
    w.sendSimState();
    if (!w.cfg.removeObjectsOnFlightEnd)
        return;
    std::vector<std::uint32_t> ids;
    for (const auto& [id, o] : w.objects)
        ids.push_back(id);
    for (auto id : ids)
        w.removeObject(id, 0);
}

void Sim::loadFlight(std::string path)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.flightRunning = true;
    w.userPathStart = w.simSeconds();
    w.pushAll("FLIGHTLOADED", [&](std::uint32_t eventId) -> std::shared_ptr<Record> {
        if (!w.cfg.flightLoadedAsFilename)
            return w.makeEvent(eventId, 0);
        auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_EVENT_FILENAME));
        auto* e = reinterpret_cast<SIMCONNECT_RECV_EVENT_FILENAME*>(r->recv());
        e->dwSize = sizeof(SIMCONNECT_RECV_EVENT_FILENAME);
        e->dwVersion = 4;
        e->dwID = SIMCONNECT_RECV_ID_EVENT_FILENAME;
        e->uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
        e->uEventID = eventId;
        const std::size_t n = std::min(path.size(), sizeof e->szFileName - 1);
        std::memcpy(e->szFileName, path.data(), n);
        return r;
    });
}

void Sim::setPaused(bool paused)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    if (w.paused == paused)
        return;
    w.paused = paused;
    w.pushAll("PAUSE", [&](std::uint32_t eventId) { return w.makeEvent(eventId, paused ? 1 : 0); });
}

void Sim::quit()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    for (auto& [id, c] : w.connections) {
        if (c.state != Connection::Open)
            continue;
        w.push(c, w.makeRaw(SIMCONNECT_RECV_ID_QUIT));
        c.state = Connection::Dead;
        c.quitPending = true;
    }
    w.simUp = false;
    w.flightRunning = false;
    w.cv.notify_all();
}

void Sim::breakConnection()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    for (auto& [id, c] : w.connections) {
        if (c.state != Connection::Open)
            continue;
        c.state = Connection::Dead;
        c.quitPending = false;
        c.outbox.clear();
    }
    w.cv.notify_all();
}

void Sim::fireSystemEvent(std::string name, std::uint32_t data)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.pushAll(gf_upper(name), [&](std::uint32_t eventId) { return w.makeEvent(eventId, data); });
}

void Sim::setFps(float fps)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.setFpsLocked(fps);
}

// ---- user aircraft, clock, terrain, catalogue ----------------------------------------------------

void Sim::setUser(const UserAc& user)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.user = user;
}

UserAc Sim::user() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.user;
}

void Sim::moveUser(double latDeg, double lonDeg, double altFt)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.user.pos = Geo{latDeg, lonDeg, altFt};
}

void Sim::setUserOnGround(bool onGround)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.user.onGround = onGround;
}

void Sim::setUserTitle(std::string title)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.user.title = std::move(title);
}

void Sim::setUserModel(std::string model)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.user.atcModel = std::move(model);
}

void Sim::setUserPath(std::vector<std::pair<double, Geo>> secondsAndPositions)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.userPath = std::move(secondsAndPositions);
    w.userPathStart = w.simSeconds();
}

void Sim::setZulu(int year, int dayOfYear, double secondsOfDay)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.zuluYear = year;
    w.zuluDay = dayOfYear;
    w.zuluSeconds = secondsOfDay;
}

void Sim::setTerrain(std::function<double(double, double)> elevationFt)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.terrain = std::move(elevationFt);
}

void Sim::addTitle(std::string title, TitleInfo info)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    const std::string key = gf_upper(title);
    w.titles[key] = std::move(info);
    w.titleSpelling[key] = std::move(title);
}

void Sim::refuseTitle(std::string title)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.refused.push_back(gf_upper(title));
}

// ---- foreign objects and forcing -----------------------------------------------------------------

std::uint32_t Sim::addForeignAircraft(std::string title, std::string atcId, Geo pos, ObjType type)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.ensureConfigured();
    Object o;
    o.id = w.nextObjectId++;
    o.type = type;
    o.title = std::move(title);
    o.atcId = std::move(atcId);
    o.lat = pos.latDeg;
    o.lon = pos.lonDeg;
    o.alt = pos.altFt;
    if (auto t = w.findTitle(o.title)) {
        o.atcModel = t->atcModel;
        o.staticCg = t->staticCgFt;
        o.staticPitch = t->staticPitchRad;
    }
    o.createdFrame = w.frame;
    const std::uint32_t id = o.id;
    w.objects.emplace(id, std::move(o));
    w.pushAll("OBJECTADDED", [&](std::uint32_t eventId) { return w.makeAddRemove(eventId, id, type); });
    return id;
}

void Sim::removeObjectBySim(std::uint32_t id)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.removeObject(id, 0);
}

void Sim::forceOnGround(std::uint32_t id, std::optional<bool> onGround)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    if (auto it = w.objects.find(id); it != w.objects.end())
        it->second.forcedOnGround = onGround;
}

// ---- failures and injections ---------------------------------------------------------------------

void Sim::failCalls(Call call, int count)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.scripted[call].failCount = count;
}

void Sim::raiseOnNextCall(Call call, std::uint32_t exception, std::uint32_t index, int count)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    auto& s = w.scripted[call];
    s.exception = exception;
    s.index = index;
    s.raiseCount = count;
}

void Sim::failFlightPlans(bool fail)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.failPlans = fail;
}

void Sim::injectException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    for (auto& [id, c] : w.connections)
        if (c.state == Connection::Open)
            w.push(c, w.makeException(exception, sendId, index));
}

void Sim::injectRaw(std::uint32_t receiveId)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    for (auto& [id, c] : w.connections)
        if (c.state == Connection::Open)
            w.push(c, w.makeRaw(receiveId));
}

// ---- observation ---------------------------------------------------------------------------------

std::vector<ObjectView> Sim::objects() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<ObjectView> out;
    for (const auto& [id, o] : w.objects)
        out.push_back(lf_view(w, o));
    return out;
}

std::optional<ObjectView> Sim::object(std::uint32_t id) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(id);
    if (it == w.objects.end())
        return std::nullopt;
    return lf_view(w, it->second);
}

std::optional<ObjectView> Sim::objectByAtcId(std::string_view atcId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    for (const auto& [id, o] : w.objects)
        if (o.atcId == atcId)
            return lf_view(w, o);
    return std::nullopt;
}

std::vector<CreationRec> Sim::creations() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return {w.creations.begin(), w.creations.end()};
}

std::vector<RemovalRec> Sim::removals() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return {w.removals.begin(), w.removals.end()};
}

std::vector<EventRec> Sim::clientEvents(std::optional<std::uint32_t> objectId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<EventRec> out;
    for (const auto& e : w.events)
        if (!objectId || e.objectId == *objectId)
            out.push_back(e);
    return out;
}

std::vector<PositionRec> Sim::positions(std::uint32_t objectId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    auto it = w.objects.find(objectId);
    if (it == w.objects.end())
        return {};
    return {it->second.positions.begin(), it->second.positions.end()};
}

std::vector<std::vector<std::byte>> Sim::dataWrites(std::uint32_t defineId, std::uint32_t objectId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<std::vector<std::byte>> found;
    for (const auto& write : w.writes)
        if (write.defineId == defineId && write.objectId == objectId)
            found.push_back(write.bytes);
    return found;
}

std::vector<CallRec> Sim::calls(std::optional<Call> call) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<CallRec> out;
    for (const auto& c : w.calls)
        if (!call || c.call == *call)
            out.push_back(CallRec{c.seq, c.frame, c.connection, c.packet, c.call, c.args.text(), c.result});
    return out;
}

std::vector<DatumView> Sim::definition(std::uint32_t defineId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<DatumView> out;
    if (const Connection* c = lf_newest(w))
        if (auto it = c->definitions.find(defineId); it != c->definitions.end())
            for (const auto& d : it->second.datums)
                out.push_back(DatumView{d.name, d.unit, static_cast<std::uint32_t>(d.type)});
    return out;
}

std::vector<std::uint32_t> Sim::groupMembers(std::uint32_t groupId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    if (const Connection* c = lf_newest(w))
        if (auto it = c->groups.find(groupId); it != c->groups.end())
            return it->second.members;
    return {};
}

std::uint32_t Sim::groupPriority(std::uint32_t groupId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    if (const Connection* c = lf_newest(w))
        if (auto it = c->groups.find(groupId); it != c->groups.end())
            return it->second.priority;
    return SIMCONNECT_UNUSED;
}

std::optional<std::string> Sim::mappedEvent(std::uint32_t clientEventId) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    if (const Connection* c = lf_newest(w))
        if (auto it = c->eventMap.find(clientEventId); it != c->eventMap.end())
            return it->second;
    return std::nullopt;
}

std::uint32_t Sim::lastPacketId() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    const Connection* c = lf_newest(w);
    return c ? c->packet : 0;
}

int Sim::openConnections() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    int n = 0;
    for (const auto& [id, c] : w.connections)
        if (c.state == Connection::Open)
            ++n;
    return n;
}

int Sim::opensAttempted() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.opensAttempted;
}

int Sim::closes() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.closes;
}

std::size_t Sim::droppedRecords() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::size_t n = 0;
    for (const auto& [id, c] : w.connections)
        n += c.dropped;
    return n;
}

std::vector<std::string> Sim::violations() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return {w.violations.begin(), w.violations.end()};
}

std::vector<std::string> Sim::warnings() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return {w.warnings.begin(), w.warnings.end()};
}

void Sim::expectViolation(std::string substring)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.expected.push_back(std::move(substring));
}

std::vector<std::string> Sim::takeUnexpectedViolations()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    std::vector<std::string> left;
    std::vector<std::string> expected = w.expected;
    for (const auto& v : w.violations) {
        auto it = std::find_if(expected.begin(), expected.end(),
                               [&](const std::string& e) { return v.find(e) != std::string::npos; });
        if (it != expected.end())
            expected.erase(it);
        else
            left.push_back(v);
    }
    // An expected violation that never happened is a failure too.
    for (const auto& e : expected)
        left.push_back("expected violation did not occur: " + e);
    w.violations.clear();
    w.expected.clear();
    return left;
}

void Sim::resetForDemo()
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.configured = false;
    w.ensureConfigured();
}

bool Sim::flightRunning() const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    return w.flightRunning;
}

void Sim::loadScenario(const std::string& path)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    gf_loadScenarioLocked(w, path);
}

void Sim::writeTrace(const std::string& folder) const
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.writeTraceLocked(folder);
}

void Sim::logPositions(const std::string& path)
{
    World& w = gf_world();
    std::lock_guard lock(w.mutex);
    w.openPositionLog(path);
}

}  // namespace simstandin

#endif  // TAVIX_SIM_SDK
