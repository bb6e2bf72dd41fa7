// The seam between the frame and the subsystems it drives. Each hook stands for one call of the
// start-up, the main loop, the window commands or the exit into the simulator link, the
// traffic-service client, the liveries or the parking code. A hook is empty until its subsystem
// fills it (gf_registerSubsystems, subsystem_registry.cpp, before the first start-up); the frame
// skips an empty hook, and a query hook that is empty answers with the stated default.
//
// Hooks are set once before the window posts its first start-up message and only read afterwards,
// so they need no lock. Each hook is called on the thread named beside it.
#pragma once

#include <functional>
#include <stop_token>
#include <string>

#include "app/window_model.h"

struct SubsystemHooks {
    // --- start-up thread, lf_startUpTavix ---------------------------------------------------
    std::function<void()> detectCommunityFolder;    // the simulator's Community folder (liveries)
    std::function<void()> detectInstallPath;        // package folders of the selected simulator (liveries)
    std::function<void()> writeKeyFileTemplate;     // service key-file template when missing
    std::function<bool()> liveryScanDue;            // empty: false
    std::function<void()> scanLiveries;             // livery scan (liveries)
    std::function<void()> loadAircraftDatabase;     // after the data-pack update (liveries)
    std::function<void()> readAirports;             // gf_readAirports; throws to the start-up handler
    std::function<void()> scanAddonAirports;        // gf_scanAddonAirports
    std::function<void()> prepareFlightPlanFolder;  // gf_prepareFlightPlanFolder
    std::function<void()> readMyParkAirports;       // lf_readMyParkAirports

    // --- start-up thread, lf_runReadersAndLoop ------------------------------------------------
    std::function<void()> reserveTrafficContainers;  // gf_reserveTrafficContainers
    std::function<void()> resetSimQueues;            // gf_resetSimQueues
    std::function<void(std::stop_token)> simClient;  // SimClient thread body (joinable, stop token)
    std::function<void(bool)> acceptUdpMessages;     // gf_acceptUdpMessages
    std::function<void()> requestUserAcState;        // ask the simulator for the user aircraft's state
    std::function<bool()> login;                     // traffic service; empty: true
    std::function<void()> logout;
    std::function<void()> weatherReader;             // gf_weatherReader body (detached thread)
    std::function<void()> trafficReader;             // gf_trafficReader body (detached thread)
    std::function<bool()> weatherReaderRunning;      // empty: true
    std::function<bool()> trafficReaderRunning;      // empty: true
    std::function<void()> stopReaders;               // both readers end their loops
    std::function<bool()> firstTrafficReceived;      // empty: true

    // --- start-up thread, lf_requestUserAcOnGround -------------------------------------------
    std::function<bool()> flightRunning;            // g_flightRunning; empty: false
    std::function<bool()> requestUserAcOnGround;    // request 108 under g_simConnectMutex; empty: true
    std::function<void()> requestUserAcPosition;    // gf_requestUserAcPosition
    std::function<void()> requestUserAcTitle;       // gf_requestUserAcTitle
    std::function<bool()> userAcPositionSet;        // user position out of the no-flight zone; empty: true

    // --- main loop ------------------------------------------------------------------------------
    std::function<bool()> takeTickFlag;             // g_tickFlag exchanged with false; empty: false
    std::function<void()> updateAI;                 // gf_updateAI, every wake with a flight running
    std::function<void()> simCommands;              // gf_SimCommands, every wake without a flight
    std::function<void()> clearAcPosUpdates;        // both sides of g_acPosUpdates, under g_simConnectMutex
    std::function<void(bool)> checkForParkAirportUpdates;  // gf_checkForParkAirportUpdates
    std::function<bool()> staticAcExist;            // g_staticAc not empty; empty: false
    std::function<void()> removeStaticTwinsOfLiveAc;      // gf_removeStaticTwinOfLiveAc per live aircraft
    std::function<void()> writeCallsign2ObjectIdFile;     // gf_writeCallsign2ObjectIdFile
    // lf_everyTick
    std::function<void()> selectAcByCallsign;       // gf_selectAcByCallsign
    std::function<void()> searchCoupledCallsigns;   // lf_searchForCoupledCsAroundThisTime per new live ac
    std::function<void()> checkOneDuplicate;        // front of g_duplicateCheckList via gf_removeDuplicates
    std::function<void()> removeAllStaticAc;        // gf_removeAllStaticAc ("Flush static", exit)
    std::function<bool()> userOnGround;             // empty: true
    std::function<void()> collisionAvoidanceUserGround;   // gf_collisionAvoidanceUserGround
    std::function<void()> collisionAvoidanceUserAir;      // gf_collisionAvoidanceUserAir until one answers true
    std::function<void()> collisionAvoidanceLiveParked;   // gf_collisionAvoidanceLiveParked per taxiing live ac
    std::function<void()> updateParkedCounts;       // counts and averages of parked aircraft
    // lf_every5Seconds / lf_every15Seconds / lf_every30Seconds
    std::function<bool()> parkAirportHasReservedStand;    // empty: false
    std::function<void()> clearReservedStand;       // gf_clearReservedStand
    std::function<bool()> parkAdjustmentsEnabled;   // parked-traffic adjustments on; empty: false
    std::function<void()> disableControls;          // gf_disableControls (parking controls busy)
    std::function<void()> enableControls;           // gf_enableControls (end of start-up, plan done)
    std::function<void()> requestHistoryBuffers;    // raise g_bufferReceived
    std::function<bool()> parkAirportHasStands;     // empty: false
    std::function<void(bool)> applyParkTrafficChanges;    // gf_applyParkTrafficChanges(renew)
    std::function<void()> logNoMatchList;           // gf_logNoMatchList (also at exit)
    std::function<void()> clearNoMatchSet;          // daily reset

    // --- window thread, window commands -------------------------------------------------------
    std::function<void(const std::string&)> addParkAirport;  // gf_addParkAirport
    std::function<void(bool)> setNavLights;         // gf_setNavLights for each placed aircraft
    std::function<void()> clearAddonAirportFound;   // g_addonAirportFound cleared (rescan)
    std::function<void()> checkReservedStands;      // gf_checkReservedStands
    std::function<bool()> parkFileLoaded;           // a parking file is loaded; empty: false
    std::function<void()> setParkParamsChanged;     // g_parkParamsChanged := true
    std::function<void()> trimLiveToMaxLive;        // gf_trimLiveToMaxLive
    std::function<AutoRangeInput()> autoRangeInput; // user height and park-airport distance (atomics only)
    std::function<void(double)> queryRangeChanged;  // the traffic query's lateral range in nm (any thread)

    // --- exit thread, FinalExit -----------------------------------------------------------------
    std::function<void()> removeAllLiveAc;          // the g_liveAc walk (gf_removeAct / drop queued creations)
    std::function<void()> queueAllRemovals;         // g_removeRequests -> g_removeAcCmds under g_simConnectMutex
    std::function<bool()> removalQueueEmpty;        // g_removeAcCmds empty; empty: true
    std::function<bool()> simHasQuit;               // the simulator sent QUIT; empty: false
    std::function<void()> removeParkedTraffic;      // gf_removeParkedTraffic
    std::function<void()> removeFlightPlanFolder;   // gf_removeFlightPlanFolder
    std::function<void()> clearTrafficState;        // gf_clearTrafficState
    std::function<void()> resetSimState;            // SimConnect error count and user-aircraft state
    std::function<void()> saveSettings;             // every setting and the window position
};

// The hooks of this process.
extern SubsystemHooks g_hooks;

// Fills g_hooks with every subsystem present in the build (one call per subsystem).
void gf_registerSubsystems();
