// Inner state of the stand-in simulator: the world (flight, clock, terrain, user aircraft, titles,
// objects), the client connections with their outboxes, registrations and deferred AI operations,
// the observation logs and the sanity monitor. Shared by the SimConnect entry points
// (standin_calls.cpp), the control API (standin_control.cpp) and the scenario reader.
//
// One World per process, guarded by World::mutex (innermost lock). Everything here is called with
// that mutex held, except where a comment says otherwise; the program's dispatch callback is
// never called with it held.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "simconnect/SimConnect.h"
#include "simconnect/standin_catalogue.h"
#include "simconnect/standin_sim.h"

namespace simstandin {

// One received record, 8-byte aligned, dwSize bytes long.
class Record {
public:
    explicit Record(std::size_t size) : m_words((std::max<std::size_t>(size, sizeof(SIMCONNECT_RECV)) + 7) / 8) {}
    SIMCONNECT_RECV* recv() { return reinterpret_cast<SIMCONNECT_RECV*>(m_words.data()); }
    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(m_words.data()); }

private:
    std::vector<std::uint64_t> m_words;
};

struct Datum {
    std::string name, unit;
    SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_INVALID;
    VarInfo var{};
    double factor = 1.0;  // value in the unit = world value * factor
    std::size_t size = 0; // 0 = STRINGV
};

struct Definition {
    std::vector<Datum> datums;
    bool variable() const;
    std::size_t fixedSize() const;  // sum of the fixed sizes (STRINGV counts 0)
};

struct Periodic {
    std::uint32_t requestId = 0, defineId = 0, objectId = 0;
    SIMCONNECT_PERIOD period = SIMCONNECT_PERIOD_NEVER;
    double nextDue = 0;
};

struct Deferred {
    enum Kind { Create, Remove, Announce } kind = Create;  // Announce: a delayed ObjectAdded
    std::uint64_t dueFrame = 0;
    std::uint32_t packet = 0, requestId = 0, objectId = 0;
    std::size_t creationIndex = 0;  // into World::creations
};

struct Group {
    std::vector<std::uint32_t> members;
    std::uint32_t priority = SIMCONNECT_UNUSED;
};

struct Connection {
    enum State { Open, Closed, Dead };
    std::uint32_t id = 0;
    State state = Open;
    bool quitPending = false;  // QUIT still to be delivered to a dead connection
    std::uint32_t packet = 0;
    std::deque<std::shared_ptr<Record>> outbox;
    std::size_t dropped = 0;
    std::map<std::uint32_t, std::string> subscriptions;  // client event id -> upper-case name
    std::map<std::uint32_t, Definition> definitions;
    std::map<std::uint32_t, std::string> eventMap;       // client event id -> upper-case sim event
    std::map<std::uint32_t, Group> groups;
    std::vector<Periodic> periodic;                      // registration order
    std::vector<Deferred> deferred;                      // call order
    // Lockstep handshake: frame()/deliver() grant permits; the dispatcher takes them all at once
    // and acknowledges the highest it took once its callbacks have returned.
    std::uint64_t permits = 0, taken = 0, acked = 0;
    bool inDispatch = false;
    std::chrono::steady_clock::time_point lastDispatch{};
};

struct Object {
    std::uint32_t id = 0;
    std::uint32_t owner = 0;  // connection id; 0 = the simulator's own or foreign
    ObjType type = ObjType::Aircraft;
    std::string title, atcId, atcModel;
    double lat = 0, lon = 0, alt = 0;           // degrees, feet
    double pitch = 0, bank = 0, heading = 0;    // radians
    double vs = 0, tas = 0;                     // ft/s, knots
    double staticCg = 8.0, staticPitch = 0.0;
    std::optional<bool> forcedOnGround;
    bool released = false, freezeLatLon = false, freezeAlt = false, freezeAtt = false;
    int releases = 0;
    Lights lights;
    int toggles = 0;
    std::uint32_t flaps = 0, spoilers = 0, throttle = 0;
    bool gearDown = true, enginesRunning = false;
    double spoilerHandlePct = 0, throttle1Pct = 0, throttle2Pct = 0;
    std::optional<PlanView> plan;
    std::uint64_t createdFrame = 0;
    std::uint32_t createPacket = 0;
    std::size_t positionWrites = 0;
    std::deque<PositionRec> positions;  // ring
};

struct Scripted {
    int failCount = 0;
    std::uint32_t exception = 0, index = 0;
    int raiseCount = 0;
};

// Appends to a ring of at most cap entries, dropping the oldest; the number dropped (0 or 1).
template <class T>
std::size_t gf_pushRing(std::deque<T>& ring, std::size_t cap, T value)
{
    std::size_t dropped = 0;
    if (ring.size() >= cap && !ring.empty()) {
        ring.pop_front();
        dropped = 1;
    }
    ring.push_back(std::move(value));
    return dropped;
}

// The arguments of one call as the call log keeps them: a text, or the five numbers of a position
// write (SetDataOnSimObject, the most frequent call), put into the same words only when the log is
// read, so that a write formats nothing and allocates nothing for the log.
class CallArgs {
public:
    // From a text, implicitly: every other call logs its text as it is.
    CallArgs(std::string text) : m_text(std::move(text)) {}
    CallArgs(const char* text) : m_text(text) {}
    // "<define>, <object>, flags <flags>, count <count>, size <size>"
    static CallArgs setData(std::uint32_t defineId, std::uint32_t objectId, std::uint32_t flags, std::uint32_t count,
                            std::uint32_t size)
    {
        CallArgs args("");
        args.m_setData = {defineId, objectId, flags, count, size};
        args.m_isSetData = true;
        return args;
    }
    std::string text() const;

private:
    std::string m_text;
    std::array<std::uint32_t, 5> m_setData{};
    bool m_isSetData = false;
};

class World {
public:
    World();
    ~World();

    mutable std::mutex mutex;
    std::condition_variable cv;  // any change a waiter may care about (permits, acks, dispatch)

    Config cfg;
    bool configured = false;  // reset() or a scenario has set the world up
    std::string lastError;

    // ---- simulator, flight and clock ----
    bool simUp = true;
    int opensToFail = 0, opensAttempted = 0, closes = 0;
    std::optional<std::uint32_t> versionMismatchIndex;
    bool flightRunning = false, paused = false;
    std::optional<double> flightStartsAt;  // sim seconds at which a pending flight starts (demo)
    std::optional<double> quitAt;          // sim seconds at which the simulator quits (demo)
    std::uint64_t frame = 0;
    std::uint64_t timeFrames = 0;  // frames that advanced sim time (not while paused)
    double simBase = 0;          // sim seconds at frameBase
    std::uint64_t frameBase = 0; // timeFrames when fps last changed
    float fps = 50.0f;
    int zuluYear = 2024, zuluDay = 1;
    double zuluSeconds = 12 * 3600.0;
    std::function<double(double, double)> terrain;
    std::chrono::steady_clock::time_point lastFreeFrame{};
    std::uint64_t skippedFrames = 0;

    // ---- user aircraft and catalogue ----
    UserAc user;
    Geo menuPos{};
    std::vector<std::pair<double, Geo>> userPath;  // seconds since path start -> position
    double userPathStart = 0;
    std::map<std::string, TitleInfo> titles;  // upper-case title -> info
    std::map<std::string, std::string> titleSpelling;  // upper-case -> as added
    std::vector<std::string> refused;         // upper-case
    bool failPlans = false;

    // ---- objects and connections ----
    std::map<std::uint32_t, Object> objects;
    std::uint32_t nextObjectId = 1001;
    std::map<std::uint32_t, Connection> connections;
    std::uint32_t newestConnection = 0;

    // ---- scripting ----
    std::map<Call, Scripted> scripted;

    // ---- observation ----
    // Each log is a ring of the size its Config member states (cfg.recordRing ...).
    std::deque<CreationRec> creations;
    std::uint64_t creationsDropped = 0;  // creations that left the ring: index base of Deferred::creationIndex
    std::deque<RemovalRec> removals;
    std::deque<EventRec> events;
    // A call of the call log; its arguments are put into words when the log is read (CallArgs).
    struct LoggedCall {
        std::uint64_t seq = 0, frame = 0;
        std::uint32_t connection = 0, packet = 0;
        Call call = Call::Open;
        CallArgs args;
        HRESULT result = S_OK;
    };
    std::deque<LoggedCall> calls;
    std::uint64_t callSeq = 0;
    struct DataWrite {
        std::uint32_t defineId = 0, objectId = 0;
        std::vector<std::byte> bytes;
    };
    std::deque<DataWrite> writes;
    std::deque<std::string> violations, warnings;
    std::vector<std::string> expected;
    std::size_t unrecognizedIdCount = 0;
    std::atomic<std::uint64_t> cpuNanoseconds{0};  // see CpuMeter
    std::uint64_t positionWriteCount = 0;
    std::deque<PositionRec> sampledPositions;  // every 10th position write, for the trace
    std::uint64_t sampledCount = 0;            // sampled positions ever, and written to the trace's file
    std::uint64_t sampledTraced = 0;
    bool sampledFileStarted = false;           // the trace folder's sim-positions.csv has its header
    // Every position write, as it happens (sim-positions-all.csv of the trace, or logPositions()).
    std::unique_ptr<std::ofstream> positionLog;
    std::string traceDir;
    std::chrono::steady_clock::time_point lastTrace{};

    // ---- set-up ----
    void resetLocked(const Config& config);
    void ensureConfigured();  // first use without reset(): scenario or demo defaults

    // ---- time ----
    double simSeconds() const;
    void advanceFrame();
    void setFpsLocked(float newFps);

    // ---- records ----
    void push(Connection& c, std::shared_ptr<Record> r);
    void pushAll(const std::string& systemEvent, const std::function<std::shared_ptr<Record>(std::uint32_t)>& make);
    std::shared_ptr<Record> makeException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    std::shared_ptr<Record> makeEvent(std::uint32_t eventId, std::uint32_t data);
    std::shared_ptr<Record> makeAddRemove(std::uint32_t eventId, std::uint32_t objectId, ObjType type);
    std::shared_ptr<Record> makeOpen();
    std::shared_ptr<Record> makeRaw(std::uint32_t receiveId);
    void queueException(Connection& c, std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    // SIMOBJECT_DATA (byType false) or _BYTYPE record for one object; nullopt when it is gone.
    std::shared_ptr<Record> makeData(const Definition& def, std::uint32_t requestId, std::uint32_t defineId,
                                     std::uint32_t objectId, bool byType, std::uint32_t entry,
                                     std::uint32_t outOf);
    void sendSimState();
    void announceRemoval(std::uint32_t objectId, ObjType type);

    // ---- world quantities ----
    bool isUser(std::uint32_t objectId) const;  // 0 or the user's real id
    Geo userPos() const;
    double terrainAt(double lat, double lon) const;
    double readVar(const VarInfo& v, std::uint32_t objectId) const;     // world units
    std::string readText(const VarInfo& v, std::uint32_t objectId) const;
    bool objectOnGround(const Object& o) const;
    std::int64_t lightMask(const Lights& l) const;
    std::optional<TitleInfo> findTitle(const std::string& title) const;
    void removeObject(std::uint32_t id, std::uint32_t packet);

    // ---- frames' work ----
    void matureDeferred();
    void runPeriodic();
    void matureCreation(Connection& c, const Deferred& d);
    void matureRemoval(Connection& c, const Deferred& d);

    // ---- monitor ----
    void violation(std::string text);
    void warning(std::string text);

    // ---- call log ----
    void logCall(std::uint32_t connection, Call call, CallArgs args, HRESULT result, std::uint32_t packet);

    // ---- lockstep ----
    // A dispatcher counts as alive while it polls CallDispatch at least once in this window. The
    // program polls every millisecond; the window is long enough for a thread kept waiting by a
    // busy machine, so a loaded run delivers every frame as an idle one does.
    static constexpr std::chrono::milliseconds kDispatcherAliveWindow{1500};
    bool dispatcherAlive(const Connection& c) const;
    // Grants one permit to each live dispatcher and waits (releasing the lock) until each has
    // acknowledged; false with lastError set on timeout or when none is alive.
    bool grantAndWait(std::unique_lock<std::mutex>& lock);

    // ---- trace ----
    void writeTraceLocked(const std::string& folder);
    // Opens (empty path: closes) the log of every position write; throws when it cannot be written.
    void openPositionLog(const std::string& path);
    void logPosition(const PositionRec& rec);
};

World& gf_world();

// Time spent in the stand-in, added to World::cpuNanoseconds: one meter per entry point, paused
// while the program's dispatch callback runs and while a dispatch waits for its lockstep permit.
// The simulator runs on the program's own threads; this tells its time from the program's. The
// monotonic clock is read, not the thread's CPU clock: that one is a system call, and reading it
// twice in every call (over 3,000 times a second in the demo) cost more than the calls themselves.
// An entry point runs for microseconds without blocking, so the two differ only when the thread is
// preempted inside one.
class CpuMeter {
public:
    explicit CpuMeter(World& w) : m_world(w) { resume(); }
    ~CpuMeter() { pause(); }
    CpuMeter(const CpuMeter&) = delete;
    CpuMeter& operator=(const CpuMeter&) = delete;
    void pause();
    void resume();

private:
    World& m_world;
    std::int64_t m_start = -1;  // monotonic nanoseconds at resume; -1 while paused
};

// Great-circle distance in nautical miles (haversine).
double gf_distanceNm(double lat1, double lon1, double lat2, double lon2);

// ---- shared by the entry points (standin_connection.cpp) ----
HANDLE gf_handleOf(std::uint32_t connectionId);
std::uint32_t gf_idOf(HANDLE handle);  // 0 for a value no connection ever had
std::string gf_callText(const char* text);  // "(null)" for a null pointer, for the call log
// Prologue of every entry point but Open: the connection behind the handle, or null after
// logging the refusal (bad or closed handle: a violation; dead connection: E_FAIL only;
// scripted failure: E_FAIL without a packet id).
Connection* gf_connection(World& w, HANDLE h, Call call, const CallArgs& args);
// A successful call: one packet id, logged, and any scripted exception queued with it.
std::uint32_t gf_succeed(World& w, Connection& c, Call call, CallArgs args);

// Scenario loading with the world locked (standin_scenario.cpp).
void gf_loadScenarioLocked(World& w, const std::string& path);
// Demo defaults: free-running, flight after 5 s, user parked at a fixed airport, any title.
void gf_demoDefaultsLocked(World& w);

}  // namespace simstandin
