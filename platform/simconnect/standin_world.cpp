// The stand-in simulator's world: set-up, the per-frame order (clock, deferred AI operations,
// periodic requests, the Frame event), record building, world quantities read by data requests,
// the sanity monitor and the lockstep handshake on the test side.
//
// Runs on whichever thread calls a SimConnect function or a control member, always with
// World::mutex held.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include "simconnect/standin_world.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <numbers>

#include <fmt/format.h>

namespace simstandin {

namespace {

constexpr double kEarthRadiusNm = 3437.746770784939;  // half of 6875.493541569878

bool lf_isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

double gf_distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double toRad = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * toRad, dLon = (lon2 - lon1) * toRad;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * toRad) * std::cos(lat2 * toRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusNm * std::asin(std::sqrt(std::min(1.0, h)));
}

bool Definition::variable() const
{
    for (const auto& d : datums)
        if (d.size == 0)
            return true;
    return false;
}

std::size_t Definition::fixedSize() const
{
    std::size_t size = 0;
    for (const auto& d : datums)
        size += d.size;
    return size;
}

namespace {

World* g_world = nullptr;

// The last trace of a demo run, written at process exit while the world still exists.
void lf_traceAtExit()
{
    std::lock_guard lock(g_world->mutex);
    if (g_world->traceDir.empty())
        return;
    try {
        g_world->writeTraceLocked(g_world->traceDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stand-in simulator: %s\n", e.what());
    }
}

}  // namespace

World& gf_world()
{
    // Never destroyed: the program's simulator thread may still poll while the process exits.
    static World* world = [] {
        g_world = new World;
        std::atexit(lf_traceAtExit);
        return g_world;
    }();
    return *world;
}

World::World()
{
    terrain = [](double, double) { return 0.0; };
}

World::~World() = default;

// ---- set-up ------------------------------------------------------------------------------------

void World::resetLocked(const Config& config)
{
    cfg = config;
    configured = true;
    lastError.clear();
    simUp = cfg.simUp;
    opensToFail = 0;
    opensAttempted = 0;
    closes = 0;
    versionMismatchIndex.reset();
    flightRunning = cfg.flightRunning;
    paused = false;
    flightStartsAt.reset();
    quitAt.reset();
    frame = 0;
    timeFrames = 0;
    simBase = 0;
    frameBase = 0;
    fps = cfg.fps > 0 ? cfg.fps : 50.0f;
    zuluYear = 2024;
    zuluDay = 1;
    zuluSeconds = 12 * 3600.0;
    terrain = [](double, double) { return 0.0; };
    lastFreeFrame = {};
    skippedFrames = 0;
    user = UserAc{};
    user.pos = Geo{50.0333, 8.5706, 364.0};
    menuPos = Geo{};
    userPath.clear();
    userPathStart = 0;
    titles.clear();
    titleSpelling.clear();
    refused.clear();
    failPlans = false;
    objects.clear();
    nextObjectId = cfg.firstAiObjectId;
    // Handles of dropped connections stay unknown for good: connection ids are never reused.
    connections.clear();
    newestConnection = 0;
    scripted.clear();
    creations.clear();
    creationsDropped = 0;
    removals.clear();
    events.clear();
    calls.clear();
    callSeq = 0;
    writes.clear();
    violations.clear();
    warnings.clear();
    expected.clear();
    unrecognizedIdCount = 0;
    positionWriteCount = 0;
    sampledPositions.clear();
    sampledCount = sampledTraced = 0;
    sampledFileStarted = false;
    positionLog.reset();
    traceDir.clear();
    cv.notify_all();
}

void World::ensureConfigured()
{
    if (configured)
        return;
    Config demo;
    demo.mode = Mode::FreeRunning;
    demo.fps = 30.0f;
    demo.acceptAnyTitle = true;
    resetLocked(demo);
    gf_demoDefaultsLocked(*this);
    if (const char* path = std::getenv("TAVIX_SIM_SCENARIO"); path && *path) {
        // A broken scenario must not throw into the program's SimConnect call: say so and run
        // on the defaults.
        try {
            gf_loadScenarioLocked(*this, path);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "stand-in simulator: %s; running on the defaults\n", e.what());
            resetLocked(demo);
            gf_demoDefaultsLocked(*this);
        }
    }
    if (const char* dir = std::getenv("TAVIX_SIM_TRACE_DIR"); dir && *dir) {
        traceDir = dir;
        try {
            std::filesystem::create_directories(traceDir);
            openPositionLog((std::filesystem::path(traceDir) / "sim-positions-all.csv").string());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "stand-in simulator: %s\n", e.what());
        }
    }
}

namespace {

// Appends the value as "{:.Nf}" formats it (decimals 1 to 7), without fmt's general float
// formatting in the common case: the value times 10^N is rounded by the hardware and printed as
// digits. That product is off by at most half a unit in its last place (scaled * 2^-53), so only
// a product that lies that close to a half-way point, or a huge or non-finite value, can round
// otherwise: those go through fmt.
void lf_appendFixed(fmt::memory_buffer& out, double value, int decimals)
{
    static constexpr double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
    static constexpr std::uint64_t kIntScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    const double scaled = std::fabs(value) * kScale[decimals];
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (!(scaled < 4.0e15) || std::fabs(fraction - 0.5) <= scaled * 1e-15 + 1e-9) {
        fmt::format_to(std::back_inserter(out), "{:.{}f}", value, decimals);
        return;
    }
    const std::uint64_t units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    if (std::signbit(value))
        out.push_back('-');
    const std::uint64_t scale = kIntScale[decimals];
    fmt::format_to(std::back_inserter(out), "{}", units / scale);
    out.push_back('.');
    char digits[8];
    std::uint64_t rest = units % scale;
    for (int i = decimals - 1; i >= 0; --i, rest /= 10)
        digits[i] = static_cast<char>('0' + rest % 10);
    out.append(digits, digits + decimals);
}

}  // namespace

void World::openPositionLog(const std::string& path)
{
    if (positionLog)
        positionLog->flush();
    positionLog.reset();
    if (path.empty())
        return;
    auto out = std::make_unique<std::ofstream>(path, std::ios::trunc);
    if (!*out)
        throw std::runtime_error(fmt::format("position log {}: cannot write", path));
    *out << "frame,sim_s,wall_s,object,lat,lon,alt_ft,heading_rad,tas_kt\n";
    positionLog = std::move(out);
}

void World::logPosition(const PositionRec& rec)
{
    if (!positionLog)
        return;
    const double wall =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    // "{},{:.3f},{:.3f},{},{:.7f},{:.7f},{:.1f},{:.4f},{:.1f}\n", formatted on the stack: one line
    // for every position write.
    fmt::memory_buffer line;
    fmt::format_to(std::back_inserter(line), "{},", rec.frame);
    lf_appendFixed(line, simSeconds(), 3);
    line.push_back(',');
    lf_appendFixed(line, wall, 3);
    fmt::format_to(std::back_inserter(line), ",{},", rec.objectId);
    lf_appendFixed(line, rec.lat, 7);
    line.push_back(',');
    lf_appendFixed(line, rec.lon, 7);
    line.push_back(',');
    lf_appendFixed(line, rec.alt, 1);
    line.push_back(',');
    lf_appendFixed(line, rec.heading, 4);
    line.push_back(',');
    lf_appendFixed(line, rec.tas, 1);
    line.push_back('\n');
    positionLog->write(line.data(), static_cast<std::streamsize>(line.size()));
}

// ---- time --------------------------------------------------------------------------------------

double World::simSeconds() const
{
    return simBase + static_cast<double>(timeFrames - frameBase) / fps;
}

void World::setFpsLocked(float newFps)
{
    if (!(newFps > 0))
        return;
    simBase = simSeconds();
    frameBase = timeFrames;
    fps = newFps;
}

void World::advanceFrame()
{
    // 1. Clock.
    ++frame;
    if (!paused) {
        ++timeFrames;
        zuluSeconds += 1.0 / fps;
        while (zuluSeconds >= 86400.0) {
            zuluSeconds -= 86400.0;
            if (++zuluDay > (lf_isLeap(zuluYear) ? 366 : 365)) {
                zuluDay = 1;
                ++zuluYear;
            }
        }
    }
    const double now = simSeconds();
    if (flightStartsAt && now + 1e-9 >= *flightStartsAt) {
        flightStartsAt.reset();
        if (!flightRunning) {
            flightRunning = true;
            userPathStart = now;
            sendSimState();
        }
    }
    if (flightRunning && userPath.size() >= 2) {
        const double t = now - userPathStart;
        std::size_t i = 1;
        while (i + 1 < userPath.size() && userPath[i].first < t)
            ++i;
        const auto& [t0, a] = userPath[i - 1];
        const auto& [t1, b] = userPath[i];
        const double f = t1 > t0 ? std::clamp((t - t0) / (t1 - t0), 0.0, 1.0) : 1.0;
        user.pos = Geo{a.latDeg + f * (b.latDeg - a.latDeg), a.lonDeg + f * (b.lonDeg - a.lonDeg),
                       a.altFt + f * (b.altFt - a.altFt)};
        const double dLat = b.latDeg - a.latDeg;
        const double dLon = (b.lonDeg - a.lonDeg) * std::cos(a.latDeg * std::numbers::pi / 180.0);
        if (dLat != 0 || dLon != 0) {
            double h = std::atan2(dLon, dLat);
            user.headingRad = h < 0 ? h + 2 * std::numbers::pi : h;
        }
    } else if (flightRunning && userPath.size() == 1) {
        user.pos = userPath[0].second;
    }
    // 2. Deferred AI operations.
    matureDeferred();
    // 3. Periodic requests.
    runPeriodic();
    // 4. The Frame event, last, so the client's flush follows this frame's state.
    const float rate = fps;
    pushAll("FRAME", [&](std::uint32_t eventId) {
        auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_EVENT_FRAME));
        auto* e = reinterpret_cast<SIMCONNECT_RECV_EVENT_FRAME*>(r->recv());
        e->dwSize = sizeof(SIMCONNECT_RECV_EVENT_FRAME);
        e->dwVersion = 4;
        e->dwID = SIMCONNECT_RECV_ID_EVENT_FRAME;
        e->uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
        e->uEventID = eventId;
        e->dwData = 0;
        e->fFrameRate = rate;
        e->fSimSpeed = 1.0f;
        return r;
    });
    if (quitAt && now + 1e-9 >= *quitAt) {
        quitAt.reset();
        for (auto& [id, c] : connections) {
            if (c.state != Connection::Open)
                continue;
            push(c, makeRaw(SIMCONNECT_RECV_ID_QUIT));
            c.state = Connection::Dead;
            c.quitPending = true;
        }
        simUp = false;
        flightRunning = false;
    }
}

void World::matureDeferred()
{
    // Creations, then delayed announcements, then removals, each in call order across connections.
    for (const auto kind : {Deferred::Create, Deferred::Announce, Deferred::Remove}) {
        for (auto& [id, c] : connections) {
            if (c.state != Connection::Open)
                continue;
            std::vector<Deferred> due;
            auto it = c.deferred.begin();
            while (it != c.deferred.end()) {
                if (it->kind == kind && it->dueFrame <= frame) {
                    due.push_back(*it);
                    it = c.deferred.erase(it);
                } else {
                    ++it;
                }
            }
            for (const auto& d : due) {
                if (kind == Deferred::Create) {
                    matureCreation(c, d);
                } else if (kind == Deferred::Remove) {
                    matureRemoval(c, d);
                } else if (auto o = objects.find(d.objectId); o != objects.end()) {
                    const ObjType type = o->second.type;
                    const std::uint32_t id = d.objectId;
                    pushAll("OBJECTADDED", [&](std::uint32_t eventId) { return makeAddRemove(eventId, id, type); });
                }
            }
        }
    }
}

void World::matureCreation(Connection& c, const Deferred& d)
{
    // A creation that left the ring before it matured (more than cfg.recordRing pending) is
    // refused, as the simulator would refuse more than it can hold.
    if (d.creationIndex < creationsDropped) {
        queueException(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, d.packet, 1);
        return;
    }
    CreationRec& rec = creations[d.creationIndex - creationsDropped];
    const std::string key = gf_upper(rec.title);
    const bool isRefused = std::find(refused.begin(), refused.end(), key) != refused.end();
    const auto info = findTitle(rec.title);
    if (rec.title.empty() || isRefused || (!info && !cfg.acceptAnyTitle)) {
        rec.outcome = CreationRec::Refused;
        queueException(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, d.packet, 1);
        return;
    }
    if (objects.size() >= cfg.capacity) {
        rec.outcome = CreationRec::TooMany;
        queueException(c, cfg.tooManyAs22 ? SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED
                                          : SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS,
                       d.packet, 1);
        return;
    }
    const TitleInfo t = info.value_or(TitleInfo{});
    Object o;
    o.id = nextObjectId++;
    o.owner = c.id;
    o.type = t.type;
    o.title = titleSpelling.count(key) ? titleSpelling[key] : rec.title;
    o.atcId = cfg.truncateTail12 && rec.tail.size() > 12 ? rec.tail.substr(0, 12) : rec.tail;
    o.atcModel = t.atcModel;
    o.staticCg = t.staticCgFt;
    o.staticPitch = t.staticPitchRad;
    const double toRad = std::numbers::pi / 180.0;
    o.lat = rec.init.Latitude;
    o.lon = rec.init.Longitude;
    o.alt = rec.init.Altitude;
    o.pitch = rec.init.Pitch * toRad;
    o.bank = rec.init.Bank * toRad;
    o.heading = rec.init.Heading * toRad;
    o.tas = rec.init.Airspeed;
    const double ground = terrainAt(o.lat, o.lon) + o.staticCg;
    if (std::isfinite(o.alt) && (o.alt < ground || rec.init.OnGround == 1))
        o.alt = ground;
    o.createdFrame = frame;
    o.createPacket = d.packet;
    rec.outcome = CreationRec::Created;
    rec.objectId = o.id;
    const std::uint32_t id = o.id;
    const ObjType type = o.type;
    objects.emplace(id, std::move(o));

    auto assigned = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID));
    auto* a = reinterpret_cast<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID*>(assigned->recv());
    a->dwSize = sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID);
    a->dwVersion = 4;
    a->dwID = SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID;
    a->dwRequestID = d.requestId;
    a->dwObjectID = id;
    push(c, assigned);
    if (cfg.objectAddedDelayFrames > 0) {
        Deferred announce;
        announce.kind = Deferred::Announce;
        announce.dueFrame = frame + static_cast<std::uint64_t>(cfg.objectAddedDelayFrames);
        announce.objectId = id;
        c.deferred.push_back(announce);
        return;
    }
    pushAll("OBJECTADDED", [&](std::uint32_t eventId) { return makeAddRemove(eventId, id, type); });
}

void World::matureRemoval(Connection&, const Deferred& d)
{
    if (!objects.count(d.objectId))
        return;  // already removed by the simulator meanwhile
    removeObject(d.objectId, d.packet);
}

void World::removeObject(std::uint32_t id, std::uint32_t packet)
{
    auto it = objects.find(id);
    if (it == objects.end())
        return;
    const ObjType type = it->second.type;
    objects.erase(it);
    gf_pushRing(removals, cfg.recordRing, RemovalRec{frame, packet, id, 0});
    announceRemoval(id, type);
}

void World::announceRemoval(std::uint32_t objectId, ObjType type)
{
    pushAll("OBJECTREMOVED", [&](std::uint32_t eventId) { return makeAddRemove(eventId, objectId, type); });
}

void World::runPeriodic()
{
    const double now = simSeconds();
    for (auto& [id, c] : connections) {
        if (c.state != Connection::Open)
            continue;
        auto it = c.periodic.begin();
        while (it != c.periodic.end()) {
            bool due = it->period == SIMCONNECT_PERIOD_VISUAL_FRAME || it->period == SIMCONNECT_PERIOD_SIM_FRAME;
            if (it->period == SIMCONNECT_PERIOD_SECOND && now + 1e-9 >= it->nextDue) {
                due = true;
                while (it->nextDue <= now + 1e-9)
                    it->nextDue += 1.0;
            }
            if (!due) {
                ++it;
                continue;
            }
            auto def = c.definitions.find(it->defineId);
            auto rec = def == c.definitions.end()
                           ? nullptr
                           : makeData(def->second, it->requestId, it->defineId, it->objectId, false, 1, 1);
            if (!rec) {  // the object or the definition is gone: the request ends with it
                it = c.periodic.erase(it);
                continue;
            }
            push(c, rec);
            ++it;
        }
    }
}

// ---- records -----------------------------------------------------------------------------------

void World::push(Connection& c, std::shared_ptr<Record> r)
{
    if (c.outbox.size() >= cfg.outboxCap) {
        ++c.dropped;
        return;
    }
    c.outbox.push_back(std::move(r));
}

void World::pushAll(const std::string& systemEvent,
                    const std::function<std::shared_ptr<Record>(std::uint32_t)>& make)
{
    for (auto& [id, c] : connections) {
        if (c.state != Connection::Open)
            continue;
        for (const auto& [eventId, name] : c.subscriptions)
            if (name == systemEvent)
                push(c, make(eventId));
    }
}

std::shared_ptr<Record> World::makeException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_EXCEPTION));
    auto* e = reinterpret_cast<SIMCONNECT_RECV_EXCEPTION*>(r->recv());
    e->dwSize = sizeof(SIMCONNECT_RECV_EXCEPTION);
    e->dwVersion = 4;
    e->dwID = SIMCONNECT_RECV_ID_EXCEPTION;
    e->dwException = exception;
    e->dwSendID = sendId;
    e->dwIndex = index;
    return r;
}

void World::queueException(Connection& c, std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    if (exception == SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID) {
        ++unrecognizedIdCount;
        warning(fmt::format("exception 3 (unrecognized id) for packet {}, index {}", sendId, index));
    }
    push(c, makeException(exception, sendId, index));
}

std::shared_ptr<Record> World::makeEvent(std::uint32_t eventId, std::uint32_t data)
{
    auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_EVENT));
    auto* e = reinterpret_cast<SIMCONNECT_RECV_EVENT*>(r->recv());
    e->dwSize = sizeof(SIMCONNECT_RECV_EVENT);
    e->dwVersion = 4;
    e->dwID = SIMCONNECT_RECV_ID_EVENT;
    e->uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    e->uEventID = eventId;
    e->dwData = data;
    return r;
}

std::shared_ptr<Record> World::makeAddRemove(std::uint32_t eventId, std::uint32_t objectId, ObjType type)
{
    auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE));
    auto* e = reinterpret_cast<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE*>(r->recv());
    e->dwSize = sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE);
    e->dwVersion = 4;
    e->dwID = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
    e->uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    e->uEventID = eventId;
    e->dwData = objectId;
    e->eObjType = static_cast<SIMCONNECT_SIMOBJECT_TYPE>(type);
    return r;
}

std::shared_ptr<Record> World::makeOpen()
{
    auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV_OPEN));
    auto* o = reinterpret_cast<SIMCONNECT_RECV_OPEN*>(r->recv());
    o->dwSize = sizeof(SIMCONNECT_RECV_OPEN);
    o->dwVersion = 4;
    o->dwID = SIMCONNECT_RECV_ID_OPEN;
    const std::size_t n = std::min(cfg.appName.size(), sizeof o->szApplicationName - 1);
    std::memcpy(o->szApplicationName, cfg.appName.data(), n);
    o->dwApplicationVersionMajor = cfg.appVersion[0];
    o->dwApplicationVersionMinor = cfg.appVersion[1];
    o->dwApplicationBuildMajor = cfg.appVersion[2];
    o->dwApplicationBuildMinor = cfg.appVersion[3];
    o->dwSimConnectVersionMajor = 11;
    return r;
}

std::shared_ptr<Record> World::makeRaw(std::uint32_t receiveId)
{
    auto r = std::make_shared<Record>(sizeof(SIMCONNECT_RECV));
    r->recv()->dwSize = sizeof(SIMCONNECT_RECV);
    r->recv()->dwVersion = 4;
    r->recv()->dwID = receiveId;
    return r;
}

std::shared_ptr<Record> World::makeData(const Definition& def, std::uint32_t requestId, std::uint32_t defineId,
                                        std::uint32_t objectId, bool byType, std::uint32_t entry,
                                        std::uint32_t outOf)
{
    std::string block;
    if (objectId == 0 && byType && outOf == 0) {
        block.assign(def.fixedSize(), '\0');  // the empty by-type answer carries no object
    } else {
        if (!isUser(objectId) && !objects.count(objectId))
            return nullptr;
        for (const auto& d : def.datums) {
            if (d.var.dim == Dim::Text)
                gf_packText(block, d.type, readText(d.var, objectId));
            else
                gf_packNumber(block, d.type, readVar(d.var, objectId) * d.factor);
        }
    }
    constexpr std::size_t header = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);  // dwData
    const std::size_t size = std::max(header + block.size(), sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA));
    auto r = std::make_shared<Record>(size);
    auto* h = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(r->recv());
    h->dwSize = static_cast<DWORD>(size);
    h->dwVersion = 4;
    h->dwID = byType ? SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE : SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    h->dwRequestID = requestId;
    const bool emptyAnswer = byType && outOf == 0;
    h->dwObjectID = objectId == SIMCONNECT_OBJECT_ID_USER && !emptyAnswer ? cfg.userObjectId : objectId;
    h->dwDefineID = defineId;
    h->dwFlags = 0;
    h->dwentrynumber = entry;
    h->dwoutof = outOf;
    h->dwDefineCount = static_cast<DWORD>(def.datums.size());
    if (!block.empty())
        std::memcpy(r->bytes() + header, block.data(), block.size());
    return r;
}

void World::sendSimState()
{
    const std::uint32_t data = flightRunning ? 1 : 0;
    pushAll("SIM", [&](std::uint32_t eventId) { return makeEvent(eventId, data); });
}

// ---- world quantities --------------------------------------------------------------------------

bool World::isUser(std::uint32_t objectId) const
{
    return objectId == SIMCONNECT_OBJECT_ID_USER || objectId == cfg.userObjectId;
}

Geo World::userPos() const
{
    return flightRunning ? user.pos : menuPos;
}

double World::terrainAt(double lat, double lon) const
{
    return terrain ? terrain(lat, lon) : 0.0;
}

std::optional<TitleInfo> World::findTitle(const std::string& title) const
{
    auto it = titles.find(gf_upper(title));
    if (it == titles.end())
        return std::nullopt;
    return it->second;
}

bool World::objectOnGround(const Object& o) const
{
    if (o.forcedOnGround)
        return *o.forcedOnGround;
    return o.alt - terrainAt(o.lat, o.lon) <= o.staticCg + 1.0;
}

std::int64_t World::lightMask(const Lights& l) const
{
    return (l.nav ? kLightNav : 0) | (l.beacon ? kLightBeacon : 0) | (l.landing ? kLightLanding : 0) |
           (l.taxi ? kLightTaxi : 0) | (l.strobes ? kLightStrobe : 0) | (l.logo ? kLightLogo : 0) |
           (l.cabin ? kLightCabin : 0);
}

double World::readVar(const VarInfo& v, std::uint32_t objectId) const
{
    if (isUser(objectId)) {
        const Geo p = userPos();
        const double ground = terrainAt(p.latDeg, p.lonDeg);
        switch (v.var) {
        case Var::Latitude: return p.latDeg;
        case Var::Longitude: return p.lonDeg;
        case Var::Pitch: return user.pitchRad;
        case Var::Bank: return user.bankRad;
        case Var::Heading: return user.headingRad;
        case Var::Altitude: return p.altFt;
        case Var::VerticalSpeed: return 0.0;
        case Var::AirspeedTrue: return user.groundSpeedKt;
        case Var::AltAboveGround: return std::max(0.0, p.altFt - ground);
        case Var::GroundAltitude: return ground;
        case Var::GroundVelocity: return user.groundSpeedKt;
        case Var::SimOnGround: return user.onGround ? 1.0 : 0.0;
        case Var::StaticCg: return user.staticCgFt;
        case Var::StaticPitch: return 0.0;
        case Var::ZuluTime: return zuluSeconds;
        case Var::ZuluDayOfYear: return zuluDay;
        case Var::ZuluYear: return zuluYear;
        case Var::LightStates:
        case Var::LightOnStates: return static_cast<double>(user.lightStates);
        default: return 0.0;
        }
    }
    const Object& o = objects.at(objectId);
    const double ground = terrainAt(o.lat, o.lon);
    switch (v.var) {
    case Var::Latitude: return o.lat;
    case Var::Longitude: return o.lon;
    case Var::Pitch: return o.pitch;
    case Var::Bank: return o.bank;
    case Var::Heading: return o.heading;
    case Var::Altitude: return o.alt;
    case Var::VerticalSpeed: return o.vs;
    case Var::AirspeedTrue: return o.tas;
    case Var::AltAboveGround: return std::max(0.0, o.alt - ground);
    case Var::GroundAltitude: return ground;
    case Var::GroundVelocity: return o.tas;
    case Var::SimOnGround: return objectOnGround(o) ? 1.0 : 0.0;
    case Var::StaticCg: return o.staticCg;
    case Var::StaticPitch: return o.staticPitch;
    case Var::ZuluTime: return zuluSeconds;
    case Var::ZuluDayOfYear: return zuluDay;
    case Var::ZuluYear: return zuluYear;
    case Var::LightStates:
    case Var::LightOnStates: return static_cast<double>(lightMask(o.lights));
    case Var::SpoilersHandle: return o.spoilerHandlePct;
    case Var::Throttle1: return o.throttle1Pct;
    case Var::Throttle2: return o.throttle2Pct;
    default: return 0.0;
    }
}

std::string World::readText(const VarInfo& v, std::uint32_t objectId) const
{
    if (isUser(objectId)) {
        switch (v.var) {
        case Var::AtcId: return user.atcId;
        case Var::AtcModel: return user.atcModel;
        case Var::Title: return user.title;
        default: return {};
        }
    }
    const Object& o = objects.at(objectId);
    switch (v.var) {
    case Var::AtcId: return o.atcId;
    case Var::AtcModel: return o.atcModel;
    case Var::Title: return o.title;
    default: return {};
    }
}

// ---- CPU meter ---------------------------------------------------------------------------------

namespace {

std::int64_t lf_meterNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void CpuMeter::resume()
{
    if (m_start < 0)
        m_start = lf_meterNanoseconds();
}

void CpuMeter::pause()
{
    if (m_start < 0)
        return;
    const std::int64_t spent = lf_meterNanoseconds() - m_start;
    m_world.cpuNanoseconds += static_cast<std::uint64_t>(std::max<std::int64_t>(0, spent));
    m_start = -1;
}

// ---- monitor and call log ----------------------------------------------------------------------

void World::violation(std::string text)
{
    gf_pushRing(violations, cfg.messageRing, fmt::format("frame {}: {}", frame, text));
}

void World::warning(std::string text)
{
    gf_pushRing(warnings, cfg.messageRing, fmt::format("frame {}: {}", frame, text));
}

std::string CallArgs::text() const
{
    if (!m_isSetData)
        return m_text;
    return fmt::format("{}, {}, flags {}, count {}, size {}", m_setData[0], m_setData[1], m_setData[2], m_setData[3],
                       m_setData[4]);
}

void World::logCall(std::uint32_t connection, Call call, CallArgs args, HRESULT result, std::uint32_t packet)
{
    gf_pushRing(calls, cfg.callLogRing, LoggedCall{++callSeq, frame, connection, packet, call, std::move(args), result});
}

// ---- lockstep ----------------------------------------------------------------------------------

bool World::dispatcherAlive(const Connection& c) const
{
    if (c.inDispatch)
        return true;
    if (c.lastDispatch == std::chrono::steady_clock::time_point{})
        return false;
    return std::chrono::steady_clock::now() - c.lastDispatch < kDispatcherAliveWindow;
}

bool World::grantAndWait(std::unique_lock<std::mutex>& lock)
{
    std::vector<std::pair<std::uint32_t, std::uint64_t>> targets;
    for (auto& [id, c] : connections) {
        const bool wants = c.state == Connection::Open || (c.state == Connection::Dead && c.quitPending);
        if (!wants || !dispatcherAlive(c))
            continue;
        targets.emplace_back(id, ++c.permits);
    }
    if (targets.empty()) {
        lastError = fmt::format("frame {}: no live dispatcher (nothing called SimConnect_CallDispatch "
                                "within {} ms)", frame, kDispatcherAliveWindow.count());
        return false;
    }
    cv.notify_all();
    // Waits in slices so that a dispatcher whose thread has ended (no poll within the window) is
    // given up on early instead of costing the whole timeout.
    bool stopped = false;
    auto done = [&] {
        for (const auto& [id, permit] : targets) {
            auto it = connections.find(id);
            if (it == connections.end())
                continue;
            const Connection& c = it->second;
            if (c.state == Connection::Closed || (c.state == Connection::Dead && !c.quitPending && !c.inDispatch))
                continue;
            if (c.acked >= permit)
                continue;
            if (!dispatcherAlive(c)) {
                stopped = true;
                continue;
            }
            return false;
        }
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + cfg.lockstepTimeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            lastError = fmt::format("frame {}: dispatcher did not acknowledge within {} ms (program lock held?)",
                                    frame, cfg.lockstepTimeout.count());
            return false;
        }
        cv.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (stopped) {
        lastError = fmt::format("frame {}: a dispatcher stopped polling SimConnect_CallDispatch", frame);
        return false;
    }
    return true;
}

}  // namespace simstandin

#endif  // TAVIX_SIM_SDK
