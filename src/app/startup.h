// The start-up sequence, run on the start-up thread that WM_APP+1 starts and that becomes the main
// loop: own-folder check, simulator folders, settings, data packs, scans, traffic-service hold,
// then the simulator client, the readers and the main loop.
#pragma once

#include <chrono>
#include <string>

// The whole start-up thread body: lf_startUpTavix, then lf_runReadersAndLoop.
void StartUpThread();
// Start-up steps; false when the start-up cannot go on (the program exits).
bool lf_startUpTavix();
void lf_runReadersAndLoop();
// Waits until the flight runs, asks for the user aircraft's on-ground reports and its position;
// false when the program exits meanwhile.
bool lf_requestUserAcOnGround();

// Starts the start-up thread (window thread, WM_APP+1): joins the previous one first.
void gf_startStartUpThread();
// Joins the start-up thread (window thread, WM_APP+2 and tests).
void gf_joinStartUpThread();
// Stops and joins the simulator client thread, bounded by the removal flush (exit thread).
void gf_stopSimClient();
bool gf_simClientRunning();

// Notes the moment of the last logout from the traffic service (exit thread); the next start-up
// holds until the service may be contacted again.
void gf_noteServiceLogout();
// Seconds still to hold before the service may be contacted (0 when free).
int gf_serviceHoldSeconds();
// Forgets the last logout (tests).
void lf_resetServiceHold();

// Shows on the error line that Log.txt or parameters.xml cannot be written, with the system's
// reason, once for each new problem; again: the error line was cleared (a new start-up).
void gf_showWriteProblems(bool again);
// How many times lf_startUpTavix ran in this process (restart tests).
int gf_startUpCount();
// Back to no start-up yet (a fresh process inside the tests).
void lf_resetStartUpCount();

// The waits of the start-up; tests replace the sleep before the start-up runs.
extern void (*g_startUpSleep)(std::chrono::milliseconds);
// Seconds the traffic service must be left alone since the last logout (2 s).
inline constexpr int g_serviceHoldSeconds = 2;
