// Control API of the embedded stand-in simulator that answers the SimConnect calls off Windows.
// Tests and the demo use it to shape the world (simulator up or down, flight state, user aircraft,
// terrain, known titles, foreign objects), to step frames one at a time (lockstep) or let them run
// on the steady clock (free-running), to script failures and exceptions, and to read back what the
// program did: objects, creations, removals, client events, position writes, calls, definitions.
//
// Not modelled: flight of any kind (objects move only by the client's position writes; freezes,
// releases and plans are recorded, not obeyed), airports, weather, crashes, pausing beyond stopping
// the sim clock, client data areas, event masking between clients, the epsilon, datum id, origin,
// interval and limit of data requests, writes to the user aircraft, and objects other than
// aircraft and helicopters. SimConnect_CallDispatch is not entered in the call log.
//
// Every member may be called from any thread; each takes the stand-in's lock, which is innermost
// and never held while the program's dispatch callback runs. frame() and deliver() block the
// calling thread until every live dispatcher has handled the frame's records (bounded by
// Config::lockstepTimeout); they must not be called while holding a lock the program's handlers
// need.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simconnect/SimConnect.h"

// On Windows the stand-in is SimConnect.dll: it exports this control API beside the SimConnect
// calls, and a test program built with the same toolchain imports it.
#if defined(_WIN32) && defined(TAVIX_SIMCONNECT_EXPORTS)
#define TAVIX_STANDIN_API __declspec(dllexport)
#elif defined(_WIN32)
#define TAVIX_STANDIN_API __declspec(dllimport)
#else
#define TAVIX_STANDIN_API
#endif

namespace simstandin {

enum class Mode { FreeRunning, Lockstep };
enum class ObjType : std::uint32_t { Aircraft = 2, Helicopter = 3 };
enum class Call {
    Open, Close, CallDispatch, SubscribeToSystemEvent, UnsubscribeFromSystemEvent,
    AddToDataDefinition, ClearDataDefinition, MapClientEventToSimEvent,
    AddClientEventToNotificationGroup, SetNotificationGroupPriority, RequestDataOnSimObject,
    RequestDataOnSimObjectType, SetDataOnSimObject, TransmitClientEvent, AICreateNonATCAircraft,
    AIRemoveObject, AIReleaseControl, AISetAircraftFlightPlan, GetLastSentPacketID
};
TAVIX_STANDIN_API const char* callName(Call);

struct Config {
    Mode mode = Mode::Lockstep;
    float fps = 50.0f;
    bool simUp = true;
    bool flightRunning = false;
    std::string appName = "KittyHawk";
    std::array<std::uint32_t, 4> appVersion{1, 0, 0, 0};
    std::uint32_t userObjectId = 1, firstAiObjectId = 1001, capacity = 1000;
    int creationDelayFrames = 1, removalDelayFrames = 1;
    int objectAddedDelayFrames = 0;        // ObjectAdded this many frames after the creation
    bool acceptAnyTitle = false;           // false: only titles added with addTitle() exist
    bool simStateOnSubscribe = true;       // subscribing to "Sim" sends the current state at once
    bool flightLoadedAsFilename = true;    // loadFlight() sends EVENT_FILENAME, else a plain EVENT
    bool removeObjectsOnClose = true, removeObjectsOnFlightEnd = true;
    bool truncateTail12 = false;           // ATC id keeps only the first 12 characters of the tail
    bool byTypeDescending = false;         // by-type replies in descending object id
    bool emptyByTypeRecord = false;        // nothing in range: one record, entry 0 of 0, object 0
    bool tooManyAs22 = false;              // capacity reached gives exception 22 instead of 11
    std::size_t maxMessagesPerDispatch = 0;  // 0 = all waiting records
    std::chrono::milliseconds lockstepTimeout{2000};
    std::size_t outboxCap = 10000, positionRing = 2000, callLogRing = 100000;
    // Rings of the observation logs, so that a run of any length keeps flat memory: the last
    // callLogRing calls, the last writeRing data writes, the last recordRing creations, removals
    // and client events, the last messageRing violations and warnings, the last sampleRing
    // sampled positions of the trace. Each fills within minutes of a busy run.
    std::size_t writeRing = 10000, recordRing = 10000, messageRing = 10000, sampleRing = 100000;
};

struct Geo {
    double latDeg = 0, lonDeg = 0, altFt = 0;
};

struct TitleInfo {
    ObjType type = ObjType::Aircraft;
    std::string atcModel = "A320";
    double staticCgFt = 8.0, staticPitchRad = 0.0;
};

struct UserAc {
    Geo pos;
    double pitchRad = 0, bankRad = 0, headingRad = 0, groundSpeedKt = 0;
    bool onGround = true;
    std::string title = "Stand-in user", atcModel = "A20N", atcId = "D-USER";
    std::int64_t lightStates = 0;
    double staticCgFt = 8.0;
};

struct Lights {
    bool nav = false, beacon = false, landing = false, taxi = false, strobes = false, logo = false,
         cabin = false;
};

struct PlanView {
    std::string path, text, fpType, departure, destination;
};

struct ObjectView {
    std::uint32_t id = 0;
    bool own = false;  // created by a client connection
    ObjType type = ObjType::Aircraft;
    std::string title, atcId;
    Geo pos;
    double pitchRad = 0, bankRad = 0, headingRad = 0, vsFtPerSec = 0, tasKt = 0;
    bool onGround = false;
    bool released = false, freezeLatLon = false, freezeAlt = false, freezeAtt = false;
    int releases = 0;  // AIReleaseControl calls on this object
    Lights lights;
    int toggles = 0;   // ALL_LIGHTS_TOGGLE count
    std::uint32_t flaps = 0, spoilers = 0, throttle = 0;
    bool gearDown = true, enginesRunning = false;
    double spoilerHandlePct = 0, throttle1Pct = 0, throttle2Pct = 0;
    std::optional<PlanView> plan;
    std::uint64_t createdFrame = 0;
    std::uint32_t createPacket = 0;
    std::size_t positionWrites = 0;
};

struct CreationRec {
    enum Outcome { Pending, Created, Refused, TooMany };
    std::uint64_t frame = 0;
    std::uint32_t packet = 0, requestId = 0;
    std::string title, tail;
    SIMCONNECT_DATA_INITPOSITION init{};
    Outcome outcome = Pending;
    std::uint32_t objectId = 0;
};

struct RemovalRec {
    std::uint64_t frame = 0;
    std::uint32_t packet = 0, objectId = 0;  // packet 0: removed by the simulator itself
    std::uint32_t exception = 0;             // 0 = removed
};

struct EventRec {
    std::uint64_t frame = 0;
    std::uint32_t packet = 0, objectId = 0, clientEventId = 0, data = 0, group = 0;
    std::string simEvent;
    bool inGroup = false;  // the client event is a member of the group it was sent with
};

struct PositionRec {
    std::uint64_t frame = 0;
    std::uint32_t objectId = 0;
    double lat = 0, lon = 0, pitch = 0, bank = 0, heading = 0, alt = 0, vs = 0, tas = 0;
};

struct CallRec {
    std::uint64_t seq = 0, frame = 0;
    std::uint32_t connection = 0, packet = 0;  // packet 0: the call used none
    Call call = Call::Open;
    std::string args;
    HRESULT result = S_OK;
};

struct DatumView {
    std::string name, unit;
    std::uint32_t type = 0;
};

class World;

class TAVIX_STANDIN_API Sim {
public:
    // Fresh world with this configuration; drops every connection (their handles give E_FAIL).
    void reset(const Config& = {});
    Config config() const;

    // ---- time ----
    // Lockstep: advance n frames; after each, let every live dispatcher deliver and wait for it.
    // False when no dispatcher is alive (no CallDispatch for 1.5 s) or one did not acknowledge
    // within lockstepTimeout (the reason is in lastError()). The world advances either way.
    bool frame(int n = 1);
    // Lockstep: deliver waiting records without a frame, waiting as frame() does.
    bool deliver();
    // True once some open connection has called CallDispatch within the last 1.5 s.
    bool waitForDispatcher(std::chrono::milliseconds timeout);
    // Advance n frames without delivering (records wait in the outboxes).
    void advance(int n = 1);
    std::uint64_t frameCount() const;
    double simSeconds() const;
    std::string lastError() const;

    // ---- simulator and flight ----
    void setSimUp(bool up);
    void failNextOpens(int n);
    void setApplication(std::string name, std::array<std::uint32_t, 4> version);
    void armVersionMismatch(std::uint32_t index);
    void startFlight();
    void endFlight();
    void loadFlight(std::string path);
    void setPaused(bool paused);
    void quit();
    void breakConnection();
    void fireSystemEvent(std::string name, std::uint32_t data);
    void setFps(float fps);

    // ---- user aircraft, clock, terrain, catalogue ----
    void setUser(const UserAc& user);
    UserAc user() const;
    void moveUser(double latDeg, double lonDeg, double altFt);
    void setUserOnGround(bool onGround);
    void setUserTitle(std::string title);
    void setUserModel(std::string model);
    void setUserPath(std::vector<std::pair<double, Geo>> secondsAndPositions);  // linear, sim time
    void setZulu(int year, int dayOfYear, double secondsOfDay);
    void setTerrain(std::function<double(double latDeg, double lonDeg)> elevationFt);
    void addTitle(std::string title, TitleInfo info = {});
    void refuseTitle(std::string title);

    // ---- foreign objects and forcing ----
    std::uint32_t addForeignAircraft(std::string title, std::string atcId, Geo pos,
                                     ObjType type = ObjType::Aircraft);
    void removeObjectBySim(std::uint32_t id);
    void forceOnGround(std::uint32_t id, std::optional<bool> onGround);

    // ---- failures and injections ----
    void failCalls(Call call, int count = 1);  // the next count calls of that kind give E_FAIL
    void raiseOnNextCall(Call call, std::uint32_t exception, std::uint32_t index = 0, int count = 1);
    void failFlightPlans(bool fail);
    void injectException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    void injectRaw(std::uint32_t receiveId);

    // ---- observation: copies, callable from any thread ----
    std::vector<ObjectView> objects() const;
    std::optional<ObjectView> object(std::uint32_t id) const;
    std::optional<ObjectView> objectByAtcId(std::string_view atcId) const;
    std::vector<CreationRec> creations() const;
    std::vector<RemovalRec> removals() const;
    std::vector<EventRec> clientEvents(std::optional<std::uint32_t> objectId = {}) const;
    std::vector<PositionRec> positions(std::uint32_t objectId) const;
    std::vector<std::vector<std::byte>> dataWrites(std::uint32_t defineId, std::uint32_t objectId) const;
    std::vector<CallRec> calls(std::optional<Call> call = {}) const;
    std::vector<DatumView> definition(std::uint32_t defineId) const;  // of the newest open connection
    std::vector<std::uint32_t> groupMembers(std::uint32_t groupId) const;
    std::uint32_t groupPriority(std::uint32_t groupId) const;  // SIMCONNECT_UNUSED when unset
    std::optional<std::string> mappedEvent(std::uint32_t clientEventId) const;
    std::uint32_t lastPacketId() const;  // of the newest open connection
    int openConnections() const;
    int opensAttempted() const;
    int closes() const;
    std::size_t droppedRecords() const;  // outbox overflow
    std::vector<std::string> violations() const;
    std::vector<std::string> warnings() const;
    // Declares one expected violation: takeUnexpectedViolations() consumes one that contains it.
    void expectViolation(std::string substring);
    // Violations not declared by expectViolation (what a fixture asserts empty at teardown).
    std::vector<std::string> takeUnexpectedViolations();

    // ---- demo ----
    // Fresh world as the demo gets it on the first SimConnect call without reset(): the scenario
    // of TAVIX_SIM_SCENARIO when set (a broken file is reported on stderr and the defaults used),
    // else the defaults; free-running.
    void resetForDemo();
    bool flightRunning() const;
    // Loads a scenario file (JSON); see scenario.cpp for the format. Throws std::runtime_error
    // naming the file and the member on malformed input.
    void loadScenario(const std::string& path);
    // Writes sim-world.txt, sim-positions.csv and sim-cpu.txt (the stand-in's own CPU seconds) into
    // the folder (and flushes the position log).
    void writeTrace(const std::string& folder) const;
    // Logs every position write from now on into the CSV file (empty path: closes the log):
    // "frame,sim_s,wall_s,object,lat,lon,alt_ft,heading_rad,tas_kt", wall_s in Unix seconds. A
    // demo run with TAVIX_SIM_TRACE_DIR logs into sim-positions-all.csv there. Throws
    // std::runtime_error when the file cannot be opened.
    void logPositions(const std::string& path);
};

TAVIX_STANDIN_API Sim& sim();

}  // namespace simstandin
