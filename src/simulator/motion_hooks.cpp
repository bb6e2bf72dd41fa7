// Storage of the motion seams and the once-per-piece log line of a missing one. Main loop thread
// (the parking start-up code also reports through gf_hookMissing; the set is guarded for that).
#include "simulator/motion_hooks.h"

#include <mutex>
#include <set>
#include <string>

#include "foundation/log.h"

MotionHooks g_motionHooks;

namespace {

std::mutex s_missingMutex;            // guards s_missingLogged
std::set<std::string> s_missingLogged;  // "piece|what" already logged

}  // namespace

bool gf_hookMissing(std::string_view piece, std::string_view what)
{
    std::string key(piece);
    key += '|';
    key += what;
    {
        std::lock_guard lock(s_missingMutex);
        if (!s_missingLogged.insert(std::move(key)).second)
            return false;
    }
    gf_log("{} is not built yet: {} skipped", piece, what);
    return false;
}

void gf_resetHookMissingLog()
{
    std::lock_guard lock(s_missingMutex);
    s_missingLogged.clear();
}
