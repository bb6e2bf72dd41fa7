// The SimConnect client thread: opens the connection (retrying once a second), registers the fixed
// ids, polls the connection every millisecond and hands each received record to the dispatch
// handlers (sim_dispatch.cpp), which run on this thread. Owns the connection handle, the
// flight-running flag, the frame rate, the request-error count and failed state, and the
// simulator-connected indicator and simulator name text that the window shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <thread>
#include <string>

#include "simconnect/SimConnect.h"

// The one connection handle; written by SimConnect_Open on the SimConnect thread. Calls from other
// threads are made while holding g_simConnectMutex.
extern HANDLE g_hSimConnect;
extern std::atomic<bool> g_flightRunning;
extern std::uint32_t g_frameCount;         // SimConnect thread
extern std::atomic<float> g_frameRate;     // published every 30 frames
extern std::atomic<std::uint32_t> g_simErrorCount;
extern std::atomic<bool> g_simConnectFailed;

// Window state written by the SimConnect thread (the flight indicator itself lives in the
// window model's painted values).
extern std::atomic<bool> g_simConnectedIndicator;
std::string gf_simulatorText();  // "MSFS 2020 (1.0.0.0)" or "MSFS 2024"; empty before the open

// True once the simulator has sent QUIT on this connection (until the next open or reset): the
// simulator is gone and took its AI objects with it.
bool gf_simHasQuit();

// Thread body; started by the start-up sequence as a joinable thread with a stop token.
void SimClient(std::stop_token stopToken);
// True on the thread that runs SimClient (debug checks of SimConnect-thread-only functions).
bool gf_onSimClientThread();

// Counts one failed SimConnect request; from the third on it shows "SimConnect request error {},
// see Log.txt", sets g_simConnectFailed and makes a restart after 10 seconds due. Called with
// g_simConnectMutex held by whichever thread made the failed call, which then releases the lock
// and calls gf_exitOnSimConnectErrors: gf_exit is never called under g_simConnectMutex.
void gf_simConnectError();
// Takes a restart made due by gf_simConnectError (gf_exit(RESTART, 10)); no simulator lock held.
void gf_exitOnSimConnectErrors();

// ---- SimConnect thread internals, declared for the dispatch file and tests ------------------------
void lf_setupSimConnect();
void lf_closeSimConnect();
void lf_unregisterSimConnect();  // the mirror of lf_setupSimConnect
void CALLBACK lf_simConnectDispatch(SIMCONNECT_RECV* data, DWORD size, void* context);
std::string lf_wrongSimMessage();
// Frame event: flush, then count the frame and publish the rate every 30th.
void lf_onSimFrame(const SIMCONNECT_RECV_EVENT_FRAME& frame);
// Exit thread, after SimClient has ended: clears the connection's window state, the flight flag
// and the request-error count.
void gf_resetSimClientState();
void lf_setSimulatorText(const std::string& text);
