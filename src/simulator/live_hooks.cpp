// Storage of the live-traffic seams and their once-per-run log. Main loop thread.
#include "simulator/live_hooks.h"

#include <mutex>
#include <set>
#include <string>

#include "foundation/log.h"

LiveHooks g_liveHooks;

namespace {

std::mutex s_loggedMutex;  // the log of missing pieces may be written from the reader thread too
std::set<std::string, std::less<>> s_logged;

}  // namespace

bool gf_liveHookMissing(std::string_view piece, std::string_view what)
{
    std::lock_guard lock(s_loggedMutex);
    if (s_logged.insert(std::string(piece)).second)
        gf_log("{} is not built yet: {} skipped", piece, what);
    return false;
}

void gf_resetLiveHookLog()
{
    std::lock_guard lock(s_loggedMutex);
    s_logged.clear();
}
