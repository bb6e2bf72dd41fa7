// Exit and in-process restart. The exit thread of a run waits for the run's exit request
// (gf_exit, frame/exit_request.h) and then runs FinalExit, which stops the traffic, removes every
// AI object, saves the settings and then restarts the start-up sequence in the same process
// (WM_APP+1) or ends the program (WM_APP+2). The exit flags are atomics read by every thread; the
// main loop acknowledges its end through g_mainLoopEnded before FinalExit touches the containers
// that the main loop owns.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <string_view>

#include "frame/exit_request.h"

// A program version, major.minor.patch.
struct Version {
    int major = 0;
    int minor = 0;
    int patch = 0;

    auto operator<=>(const Version&) const = default;
};

// This program's own version (the project version of the build).
Version gf_programVersion();
// "1.2.3"
std::string gf_versionText(const Version& version);
// Parses "1.2.3" (missing parts are 0); false for anything else.
bool gf_parseVersion(std::string_view text, Version& out);

// The exit procedure (exit thread); see exit.cpp for the order. Called directly by tests.
void FinalExit(ExitReason reason, int seconds);

// Thread bodies and the main loop hand every exception here with their own name: logs
// "std::format error: {}" for a formatting error, "{}: {}" (name, text) for other standard
// exceptions and "Unknown exception" otherwise, shows it on the error line, and exits with
// SYSTEM ERROR.
void lf_handleException(std::string_view name, std::exception_ptr error);
void lf_handleException(std::string_view name, const std::exception& error);

// Main-loop stop handshake. The start-up thread, which becomes the main loop and owns the traffic
// containers, marks itself started when it begins and ended when it leaves (the main loop leaves on
// g_exitRequested); FinalExit waits for that, bounded, before it empties the containers.
extern std::atomic<bool> g_mainLoopRunning;
extern std::atomic<bool> g_mainLoopEnded;
void gf_markMainLoopStarted();
void gf_markMainLoopEnded();
// True when the main loop is not running or acknowledged its end within the limit.
bool gf_waitMainLoopEnded(std::chrono::milliseconds limit);

// The waits of the exit procedure; tests shorten them.
struct ExitTimings {
    std::chrono::milliseconds readerStopWait{3000};    // after stopping the readers
    std::chrono::milliseconds mainLoopStopLimit{10000}; // start-up thread leaving its main loop
    std::chrono::milliseconds removalFlushLimit{2000};  // removal queue drained by the simulator thread
    std::chrono::milliseconds removalGrace{250};        // the last removals handled before the close
    std::chrono::milliseconds countdownStep{1000};      // one second of the restart countdown
};
extern ExitTimings g_exitTimings;

// Starts the exit thread of this run (after gf_joinExitThread and gf_resetExitState; nothing when
// one is there): it waits for the run's exit request, runs FinalExit and ends. Window thread at
// each start-up, and tests.
void gf_startExitThread();
// Blocks until the FinalExit of the current run (if any) has finished and its thread ended; false
// on timeout.
bool gf_waitFinalExitDone(std::chrono::milliseconds limit);
// Joins the exit thread when there is one (window thread: WM_APP+1 and the program's end). A
// thread still waiting because no exit was requested is let go without running FinalExit.
void gf_joinExitThread();
// Clears the exit flags for a new run (the in-process restart, before the start-up thread starts).
void gf_resetExitState();
