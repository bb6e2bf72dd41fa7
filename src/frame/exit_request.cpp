// The exit request of a run and the exit thread's progress. See exit_request.h.
#include "frame/exit_request.h"

#include <condition_variable>
#include <mutex>

std::atomic<bool> g_exitRequested{false};
std::atomic<bool> g_shuttingDown{false};
std::atomic<ExitReason> g_exitReason{ExitReason::NOT_YET_SET};

namespace {

std::mutex g_exitMutex;  // guards the three values below; a leaf lock
std::condition_variable g_exitChanged;
std::optional<ExitRequest> g_request;  // taken by gf_exit in this run
bool g_waitClosed = false;             // gf_waitForExitRequest returns without a request
bool g_finalExitDone = true;           // no FinalExit pending or running

}  // namespace

std::string_view gf_exitReasonName(ExitReason reason)
{
    switch (reason) {
    case ExitReason::NOT_YET_SET: return "NOT_YET_SET";
    case ExitReason::SIM_WAS_CLOSED: return "SIM WAS CLOSED";
    case ExitReason::RESTART: return "RESTART";
    case ExitReason::RESTART_IPP: return "RESTART_IPP";
    case ExitReason::USER_CLOSED_SIM: return "USER CLOSED SIM";
    case ExitReason::SYSTEM_ERROR: return "SYSTEM ERROR";
    }
    return "UNKNOWN";
}

void gf_exit(ExitReason reason, int seconds)
{
    {
        std::lock_guard lock(g_exitMutex);
        if (g_request)
            return;
        g_request = ExitRequest{reason, seconds};
        g_finalExitDone = false;
        g_exitReason.store(reason);
        g_exitRequested.store(true);
    }
    g_exitChanged.notify_all();
}

std::optional<ExitRequest> gf_exitRequest()
{
    std::lock_guard lock(g_exitMutex);
    return g_request;
}

std::optional<ExitRequest> gf_waitForExitRequest()
{
    std::unique_lock lock(g_exitMutex);
    g_exitChanged.wait(lock, [] { return g_request.has_value() || g_waitClosed; });
    return g_request;
}

void gf_closeExitWait()
{
    {
        std::lock_guard lock(g_exitMutex);
        g_waitClosed = true;
    }
    g_exitChanged.notify_all();
}

void gf_markFinalExitDone()
{
    {
        std::lock_guard lock(g_exitMutex);
        g_finalExitDone = true;
    }
    g_exitChanged.notify_all();
}

bool gf_waitFinalExitDoneFor(std::chrono::milliseconds limit)
{
    std::unique_lock lock(g_exitMutex);
    return g_exitChanged.wait_for(lock, limit, [] { return g_finalExitDone; });
}

void gf_resetExitRequest()
{
    {
        std::lock_guard lock(g_exitMutex);
        g_request.reset();
        g_waitClosed = false;
        g_finalExitDone = true;
    }
    g_exitReason.store(ExitReason::NOT_YET_SET);
    g_shuttingDown.store(false);
    g_exitRequested.store(false);
}
