// The frame's one seam to the subsystems it drives: the start-up sequence, the main loop's wakes
// and schedules, the window's commands and the exit call the simulator link, the traffic-service
// client, the liveries and the parking code through this interface, and through nothing else.
// The program runs the real implementation (real_subsystems.h), which calls the subsystems
// directly; the frame's tests put a recording one in its place.
//
// Each call names the thread it runs on. The implementation is chosen before the first start-up
// (window thread) and only read afterwards.
#pragma once

#include <stop_token>
#include <string>

#include "frame/window_model.h"

// The subsystems' steps of the start-up, in the order the start-up thread takes them.
enum class StartUpStep {
    SimulatorFolders,   // the simulators' Community folders, before the settings are read
    SelectedSimulator,  // the selected simulator's package folders; the service key-file template
    AircraftData,       // aircraft database and registration codes; the livery scan when due
    Airports,           // the live limit applied; the airport list (its errors throw to the caller)
    AddonAirports,      // the add-on airport scan (SCAN_AIRPORTS on)
    Parking,            // the flight-plan folder and the park-airport list
    Controls,           // the parking controls, once the frame has enabled the window's controls
    Traffic,            // traffic containers reserved and the simulator queues emptied
};

// What the frame's waits and schedules ask of the subsystems. Answers are read at once; only
// TakeTick changes state (the tick flag is taken).
enum class Question {
    FlightRunning,           // the simulator runs a flight
    TakeTick,                // a one-second tick came from the simulator since the last question
    UserOnGround,            // the user aircraft is on the ground
    UserPositionSet,         // the user aircraft's position is out of the no-flight zone
    FirstTrafficReceived,    // the traffic reader has had its first reply (or history buffers)
    WeatherReaderRunning,
    TrafficReaderRunning,
    StaticAcExist,           // parked (static) aircraft are placed or planned
    ReservedStand,           // the park airport has a reserved stand
    ParkAdjustmentsEnabled,  // parked-traffic adjustments run (file loaded, INITIAL_LOAD_ONLY off)
    ParkAirportHasStands,
    ParkFileLoaded,          // a parking file is loaded
    RemovalQueueEmpty,       // the simulator client has sent every queued removal
    SimHasQuit,              // the simulator sent its quit
};

// The user-aircraft requests of the start-up.
enum class UserAcRequest {
    State,     // the position as soon as the connection is open (waits at most 5 s)
    OnGround,  // the on-ground reports (request 108); false when the simulator refused it
    Position,
    Title,
};

enum class Reader { Weather, Traffic };

// The start-up's login to the traffic service.
enum class LoginOutcome {
    Session,  // logged in
    NotYet,   // the service did not answer: the readers run and log in once it answers
    Refused,  // licence or key file refused, or the exit came: no readers
};

// The main loop's work that runs on a schedule.
enum class Periodic {
    ClearReservedStand,      // every 5 s, while a stand is reserved
    StartParkAdjustment,     // first turn of 15 s: controls busy, history buffers and parked list asked for
    RemoveStaticTwins,       // every 61 s: static twins of live aircraft
    WriteCallsign2ObjectId,  // every 62 s: Callsign2ObjectId.txt
    LogNoMatchList,          // every 1200 s, and at exit
    DailyReset,              // the no-match set emptied once a day
};

// The per-second work; the frame decides from the settings and the user aircraft what runs.
// The coupled-callsign search, one duplicate check and the parked counts run every second.
struct SecondWork {
    bool selectAcByCallsign = false;   // CALLSIGN2OBJECTID holds a callsign
    bool removeAllStaticAc = false;    // "Flush static" was pressed
    bool collisionUserGround = false;  // on the ground, COLLISION_USER_GND on
    bool collisionUserAir = false;     // in the air, COLLISION_USER_AIR on
    bool collisionLiveParked = false;  // COLLISION_LIVE_PARKED_GND on
};

// Window commands, run by the main loop at its next wake.
struct WindowCommand {
    enum Kind {
        AddParkAirport,      // text: the airport code entered as destination
        NavLights,           // on: every placed aircraft's navigation lights
        RescanAirports,      // the add-on airports are scanned again at the next start-up
        RereadParkAirports,  // the park-airport list's reserved stands checked again
        ParkParamsChanged,   // a parking setting changed while a parking file is loaded
        TrimLiveToMaxLive,   // MAX_LIVE changed
    };
    Kind kind;
    std::string text;
    bool on = false;
};

// The exit's calls, in the order FinalExit makes them.
enum class ExitStep {
    StopReaders,       // both readers end their loops
    Logout,            // from the traffic service
    RemoveAllTraffic,  // every live and static AI object removed; all removals queued
    CleanUp,           // parked traffic, no-match list, flight-plan folder, traffic and simulator state
};

class Subsystems {
public:
    virtual ~Subsystems() = default;

    // Start-up thread.
    virtual void startUpStep(StartUpStep step) = 0;
    virtual bool requestUserAc(UserAcRequest request) = 0;
    virtual LoginOutcome login() = 0;
    // Thread bodies: the simulator client (joinable, stopped through its token) and the readers
    // (detached).
    virtual void runSimClient(std::stop_token stop) = 0;
    virtual void runReader(Reader reader) = 0;

    // Any thread.
    virtual bool ask(Question question) = 0;

    // Main loop.
    virtual void acceptTraffic(bool accept) = 0;  // the feed's records are taken or dropped
    virtual void flightWake() = 0;                // every wake with a flight running: the AI tick
    virtual void idleWake(bool firstOfPause) = 0; // every wake without one: the simulator's events
    virtual void everySecond(const SecondWork& work) = 0;
    virtual void periodic(Periodic work) = 0;
    virtual void applyParkTrafficChanges(bool renew) = 0;  // second turn of 15 s
    virtual void checkForParkAirportUpdates(bool first) = 0;
    virtual void windowCommand(const WindowCommand& command) = 0;

    // Window thread: what the automatic range needs (atomics only).
    virtual AutoRangeInput autoRangeInput() = 0;

    // Exit thread.
    virtual void exitStep(ExitStep step) = 0;
};

// The subsystems the frame drives: the real ones unless a test chose others.
Subsystems& gf_subsystems();
// Chooses the implementation (window thread before the first start-up, tests); nullptr chooses
// the real one again.
void gf_setSubsystems(Subsystems* subsystems);
