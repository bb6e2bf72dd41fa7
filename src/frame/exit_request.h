// The exit request: why and when the program stops or restarts, as every thread sees it. gf_exit
// only records the request and wakes the exit thread, which runs the exit procedure (FinalExit,
// app/exit.h); it starts, joins and waits for no thread, so any thread may call it, also with a
// lock held (foundation/lock_order.h).
//
// Lock: g_exitMutex guards the request of the run and the exit thread's progress. It is a leaf:
// nothing else is taken while it is held, and no thread is started or joined under it.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string_view>

enum class ExitReason : int {
    NOT_YET_SET = 0,
    SIM_WAS_CLOSED = 1,
    RESTART = 2,
    RESTART_IPP = 3,
    USER_CLOSED_SIM = 4,
    SYSTEM_ERROR = 5,
};

// The reason's name as logged: "NOT_YET_SET", "SIM WAS CLOSED", "RESTART", "RESTART_IPP",
// "USER CLOSED SIM", "SYSTEM ERROR".
std::string_view gf_exitReasonName(ExitReason reason);

// Raised by gf_exit; the simulator thread, the scans and the main loop end on it.
extern std::atomic<bool> g_exitRequested;
// Raised while FinalExit runs.
extern std::atomic<bool> g_shuttingDown;
// The reason gf_exit took (NOT_YET_SET while running).
extern std::atomic<ExitReason> g_exitReason;

struct ExitRequest {
    ExitReason reason = ExitReason::NOT_YET_SET;
    int seconds = 0;  // restart delay
};

// Takes effect once per run (later calls do nothing): stores the reason, raises g_exitRequested
// and hands the request to the exit thread. A restart reason (RESTART, RESTART_IPP) restarts in
// the same process after the given seconds; any other reason ends the program.
void gf_exit(ExitReason reason, int seconds);
// The restart delay (s) after the simulator loaded a new flight or file, or the user aircraft
// jumped: the simulator builds the new scene meanwhile.
inline constexpr int kNewSceneRestartSeconds = 45;
// The request gf_exit took in this run; nothing while the program runs on.
std::optional<ExitRequest> gf_exitRequest();

// Exit thread: blocks until this run's exit is requested, or until the wait is closed (nothing).
std::optional<ExitRequest> gf_waitForExitRequest();
// Ends gf_waitForExitRequest without a request (the program ends without an exit of its own).
void gf_closeExitWait();
// Exit thread: FinalExit of this run has done its work.
void gf_markFinalExitDone();
// True once the FinalExit of a requested exit has done its work, or when no exit was requested;
// false when the limit passed first.
bool gf_waitFinalExitDoneFor(std::chrono::milliseconds limit);

// A new run (the in-process restart, before the start-up thread starts; tests): no request, flags
// cleared, the wait open again.
void gf_resetExitRequest();
